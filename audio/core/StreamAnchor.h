#pragma once

#include <cstdint>
#include <limits>

// Ties stream time (the output's frames, counted as nanoseconds) to the
// monotonic clock, on the audio thread.
//
// A sound server asks for blocks in bursts: it lets its buffer run down, then
// asks for several blocks at once, in a pattern that drifts against the
// blocks' own period. A smoothed average of the block times follows that
// drift, and with it every onset would move by milliseconds. The earliest
// blocks, though, are the ones asked for when the server's buffer is full,
// and that moment keeps a fixed distance from the sound the server plays. So
// the anchor is the smallest (block time - block's stream time) over the
// last kSegmentBlocks to 2 × kSegmentBlocks blocks: fresh enough to follow a
// device clock that is off by a hundred parts per million (0.1 ms a second),
// steady against the bursts.
class StreamAnchor
{
public:
    static constexpr int kSegmentBlocks = 128;

    // A block that covers stream time `blockStreamNs` onwards was asked for
    // at monotonic time `nowNs`.
    void blockStarted(std::int64_t nowNs, std::int64_t blockStreamNs)
    {
        const std::int64_t distance = nowNs - blockStreamNs;
        if (distance < m_current)
            m_current = distance;
        if (++m_blocks == kSegmentBlocks) {
            m_previous = m_current;
            m_current = kNone;
            m_blocks = 0;
        }
    }

    // Forgets everything: the output stalled or started again.
    void reset()
    {
        m_previous = m_current = kNone;
        m_blocks = 0;
    }

    bool isSet() const { return m_previous != kNone || m_current != kNone; }

    // Monotonic time minus stream time, where a block is asked for with the
    // server's buffer full.
    std::int64_t distanceNs() const { return m_previous < m_current ? m_previous : m_current; }

private:
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
    std::int64_t m_previous = kNone;
    std::int64_t m_current = kNone;
    int m_blocks = 0;
};
