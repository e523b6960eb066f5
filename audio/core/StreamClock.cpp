#include "audio/core/StreamClock.h"

#include <cstdlib>

StreamClock::StreamClock(int rate)
    : m_rate(rate)
    , m_clock(rate)
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

void StreamClock::streamStarted(bool followsHoles)
{
    m_followsHoles = followsHoles;
    m_newStream = m_started;
}

void StreamClock::catchUp(std::int64_t nowNs)
{
    if (m_anchor.isSet()) {
        const std::int64_t caughtUp = framesFor(nowNs - m_anchor.distanceNs() - m_originNs);
        if (caughtUp > m_frame)
            m_frame = caughtUp;
    }
    m_anchor.reset();
}

void StreamClock::blockStarted(std::int64_t nowNs, int frames)
{
    if (!m_started) {
        m_started = true;
        m_originNs = nowNs;
        m_clock.restart();
        m_clock.blockStarted(nowNs, frames);
    } else if (m_newStream) {
        // The device was opened again: its frames start now.
        m_newStream = false;
        catchUp(nowNs);
        m_clock.restart();
        m_clock.blockStarted(nowNs, frames);
    } else {
        const std::int64_t error = m_clock.blockStarted(nowNs, frames);
        if (error > nsFor(frames))
            m_lateBlocks.fetch_add(1, std::memory_order_relaxed);
        if (std::abs(error) > FrameClock::kResetNs) {
            // The output stalled (or the machine slept). An output that
            // follows its holes has kept its frames on the server's
            // timeline; for one that does not, stream time goes on from
            // where the monotonic clock says, rather than fall behind it.
            m_stalls.fetch_add(1, std::memory_order_relaxed);
            if (m_followsHoles)
                m_anchor.reset();
            else
                catchUp(nowNs);
        }
    }
    m_anchor.blockStarted(nowNs, m_originNs + nsFor(m_frame));
    m_streamDistance.store(m_anchor.distanceNs(), std::memory_order_release);
}

void StreamClock::graphCycle(std::int64_t graphNs)
{
    m_cycleSequence.fetch_add(1, std::memory_order_acq_rel);
    m_cycleGraphNs.store(graphNs, std::memory_order_release);
    m_cycleStreamNs.store(m_originNs + nsFor(m_frame), std::memory_order_release);
    m_cycleSequence.fetch_add(1, std::memory_order_release);
}

std::int64_t StreamClock::streamNsAtGraph(std::int64_t graphNs) const
{
    for (int tries = 0; tries < 4; ++tries) {
        const std::uint64_t before = m_cycleSequence.load(std::memory_order_acquire);
        if (before == 0)
            break;
        // Acquire loads rather than a fence (which ThreadSanitizer cannot
        // follow): a value from a newer writing brings its odd count along.
        const std::int64_t cycleNs = m_cycleGraphNs.load(std::memory_order_acquire);
        const std::int64_t cycleStream = m_cycleStreamNs.load(std::memory_order_acquire);
        if ((before & 1) != 0 || m_cycleSequence.load(std::memory_order_relaxed) != before)
            continue;
        if (std::abs(graphNs - cycleNs) > 1'000'000'000)
            break;
        return cycleStream + nsFor(framesFor(graphNs - cycleNs));
    }
    return streamNs(graphNs);
}
