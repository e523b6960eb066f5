#include "audio/core/FrameClock.h"

#include <cmath>
#include <numbers>

FrameClock::FrameClock(int rate)
    : m_rate(rate)
{}

std::int64_t FrameClock::blockStarted(std::int64_t nowNs, int frames)
{
    if (!m_started || frames <= 0) {
        m_started = frames > 0;
        m_base = nowNs;
        m_nsPerFrame = 1e9 / m_rate;
        m_next = m_nsPerFrame * frames;
        m_frames = frames;
        return 0;
    }
    const double error = double(nowNs - m_base) - m_next;
    if (std::abs(error) > double(kResetNs)) {
        m_base = nowNs;
        m_nsPerFrame = 1e9 / m_rate;
        m_next = m_nsPerFrame * frames;
        m_frames = frames;
        return std::int64_t(error);
    }
    // The loop's gains for the block that ended here, as long as it was.
    const double omega = 2.0 * std::numbers::pi * kBandwidthHz * m_frames / m_rate;
    const double start = m_next + std::numbers::sqrt2 * omega * error;
    m_nsPerFrame += omega * omega * error / m_frames;
    m_frames = frames;
    m_next = start + m_nsPerFrame * frames;
    // Keep the numbers small: move the base to this block.
    const auto shift = std::int64_t(start);
    m_base += shift;
    m_next -= double(shift);
    return std::int64_t(error);
}
