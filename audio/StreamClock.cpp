#include "audio/StreamClock.h"

#include <cstdlib>

StreamClock::StreamClock(int rate, int blockFrames)
    : m_rate(rate)
    , m_blockNs(1'000'000'000LL * blockFrames / rate)
    , m_clock(rate, blockFrames)
{}

std::int64_t StreamClock::framesFor(std::int64_t ns) const
{
    constexpr std::int64_t kSecond = 1'000'000'000;
    std::int64_t seconds = ns / kSecond;
    std::int64_t rest = ns % kSecond;
    if (rest < 0) {
        rest += kSecond;
        seconds -= 1;
    }
    return seconds * m_rate + (rest * m_rate + kSecond / 2) / kSecond;
}

std::int64_t StreamClock::nsFor(std::int64_t frames) const
{
    constexpr std::int64_t kSecond = 1'000'000'000;
    const std::int64_t seconds = frames / m_rate;
    const std::int64_t rest = frames % m_rate;
    return seconds * kSecond + (rest * kSecond + m_rate / 2) / m_rate;
}

std::int64_t StreamClock::streamNs(std::int64_t monotonicNs) const
{
    const std::int64_t distance = m_streamDistance.load(std::memory_order_acquire);
    return distance == kNotStarted ? monotonicNs : monotonicNs - distance;
}

void StreamClock::blockStarted(std::int64_t nowNs)
{
    if (!m_started) {
        m_started = true;
        m_originNs = nowNs;
        m_clock.restart(nowNs, m_frame);
    } else {
        const std::int64_t error = m_clock.blockStarted(nowNs, m_frame);
        if (error > m_blockNs)
            m_lateBlocks.fetch_add(1, std::memory_order_relaxed);
        if (std::abs(error) > FrameClock::kResetNs && m_anchor.isSet()) {
            // The output stalled (or the machine slept): stream time goes on
            // from where the monotonic clock says it is, rather than fall
            // behind it for good.
            const std::int64_t caughtUp = framesFor(nowNs - m_anchor.distanceNs() - m_originNs);
            if (caughtUp > m_frame) {
                m_stalls.fetch_add(1, std::memory_order_relaxed);
                m_frame = caughtUp;
                m_clock.restart(nowNs, m_frame);
            }
            m_anchor.reset();
        }
    }
    m_anchor.blockStarted(nowNs, m_originNs + nsFor(m_frame));
    m_streamDistance.store(m_anchor.distanceNs(), std::memory_order_release);
}

void StreamClock::skip(std::int64_t frames)
{
    m_frame += frames;
    m_skipped.fetch_add(std::uint64_t(frames), std::memory_order_relaxed);
}
