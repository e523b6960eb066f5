#include "audio/FrameClock.h"

#include <cmath>
#include <numbers>

FrameClock::FrameClock(int rate, int blockFrames)
    : m_rate(rate)
    , m_blockFrames(blockFrames)
{
    const double omega = 2.0 * std::numbers::pi * kBandwidthHz * blockFrames / rate;
    m_b = std::numbers::sqrt2 * omega;
    m_c = omega * omega;
}

void FrameClock::reset(std::int64_t nowNs)
{
    m_base = nowNs;
    m_period = 1e9 * m_blockFrames / m_rate;
    m_t0 = 0.0;
    m_t1 = m_period;
    m_started = true;
}

void FrameClock::restart(std::int64_t nowNs, std::int64_t firstFrame)
{
    reset(nowNs);
    m_frame0 = firstFrame;
}

std::int64_t FrameClock::blockStarted(std::int64_t nowNs, std::int64_t firstFrame)
{
    m_frame0 = firstFrame;
    if (!m_started) {
        reset(nowNs);
        return 0;
    }
    const double error = double(nowNs - m_base) - m_t1;
    if (std::abs(error) > double(kResetNs)) {
        reset(nowNs);
        return std::int64_t(error);
    }
    m_t0 = m_t1;
    m_t1 += m_b * error + m_period;
    m_period += m_c * error;
    // Keep the numbers small: move the base to the current block.
    const auto shift = std::int64_t(m_t0);
    m_base += shift;
    m_t0 -= double(shift);
    m_t1 -= double(shift);
    return std::int64_t(error);
}

double FrameClock::nsPerFrame() const
{
    return (m_t1 - m_t0) / m_blockFrames;
}
