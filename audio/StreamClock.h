#pragma once

#include "audio/FrameClock.h"
#include "audio/StreamAnchor.h"

#include <atomic>
#include <climits>
#include <cstdint>

// Stream time: nanoseconds counted by the output's frames, starting from the
// monotonic time of the first block. Onsets given in stream time are placed
// on their frame by plain arithmetic, so sounds asked for 200 ms apart start
// exactly 200 ms of frames apart, whatever the jitter of the audio thread and
// whatever the device's clock does.
//
// streamNs() tells any thread what stream time it is now, by the blocks asked
// for with the server's buffer full (StreamAnchor). When the output stalls
// for long (a device that went away, a suspended machine), stream time skips
// ahead with the monotonic clock instead of falling behind it. A delay-locked
// loop over the block times (FrameClock) judges which blocks came late.
//
// Audio thread, except where a method says otherwise.
class StreamClock
{
public:
    StreamClock(int rate, int blockFrames);

    // A block is asked for at monotonic time `nowNs`, before it is rendered.
    void blockStarted(std::int64_t nowNs);
    // The block asked for covered `frames` frames.
    void blockRendered(int frames) { m_frame += frames; }
    // The output lost `frames` frames (the server played a hole where they
    // would have gone): stream time moves on by as much.
    void skip(std::int64_t frames);

    // Whether a block has been asked for.
    bool started() const { return m_started; }
    // The first frame of the block being rendered.
    std::int64_t frame() const { return m_frame; }
    // The frame on which stream time `streamNs` falls.
    std::int64_t frameAt(std::int64_t streamNs) const { return framesFor(streamNs - m_originNs); }

    // Any thread: the stream time at monotonic time `monotonicNs` (the
    // monotonic time itself before the first block).
    std::int64_t streamNs(std::int64_t monotonicNs) const;

    // Any thread: stream time to frames and back, exact for whole multiples
    // of 1/rate.
    std::int64_t framesFor(std::int64_t ns) const;
    std::int64_t nsFor(std::int64_t frames) const;

    // Counters, readable from any thread.
    // Blocks asked for more than a block's duration later than the clock
    // predicted: the output may have run dry before them.
    std::uint64_t lateBlocks() const { return m_lateBlocks.load(std::memory_order_relaxed); }
    // Times the output stalled for longer than FrameClock::kResetNs and
    // stream time caught up with the monotonic clock.
    std::uint64_t stalls() const { return m_stalls.load(std::memory_order_relaxed); }
    // Frames the output said it lost (skip()).
    std::uint64_t framesSkipped() const { return m_skipped.load(std::memory_order_relaxed); }

private:
    int m_rate;
    std::int64_t m_blockNs;

    // Audio thread only.
    FrameClock m_clock;
    StreamAnchor m_anchor;
    bool m_started = false;
    std::int64_t m_originNs = 0; // monotonic time of frame 0
    std::int64_t m_frame = 0;    // first frame of the block being rendered

    // Monotonic time minus stream time, as last published by the audio
    // thread; kNotStarted before the first block.
    static constexpr std::int64_t kNotStarted = INT64_MIN;
    std::atomic<std::int64_t> m_streamDistance{kNotStarted};

    std::atomic<std::uint64_t> m_lateBlocks{0};
    std::atomic<std::uint64_t> m_stalls{0};
    std::atomic<std::uint64_t> m_skipped{0};
};
