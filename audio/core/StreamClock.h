#pragma once

#include "audio/core/FrameClock.h"
#include "audio/core/StreamAnchor.h"

#include <atomic>
#include <climits>
#include <cstdint>

// Stream time: nanoseconds counted by the output's frames, starting from the
// monotonic time of the first block. Onsets given in stream time are placed
// on their frame by plain arithmetic, so sounds asked for 200 ms apart start
// exactly 200 ms of frames apart, whatever the jitter of the audio thread,
// the size of its blocks and whatever the device's clock does.
//
// streamNs() tells any thread what stream time it is now, by the blocks asked
// for with the server's buffer full (StreamAnchor). A delay-locked loop over
// the block times (FrameClock) judges which blocks came late, and which came
// after the output stalled.
//
// Across a hole in the sound the frames must stay on the server's timeline.
// An output that follows its holes itself (its server tells it, and it calls
// skip(), or its server asks for the frames it missed) keeps that; for one
// that does not, stream time skips ahead with the monotonic clock after a
// stall instead of falling behind it for good. A new stream (the device
// opened again) always starts where the monotonic clock says.
//
// Audio thread, except where a method says otherwise.
class StreamClock
{
public:
    explicit StreamClock(int rate);

    // Audio thread, never blocks (as every method here): a block of `frames`
    // is asked for at monotonic time `nowNs`, before it is rendered.
    void blockStarted(std::int64_t nowNs, int frames);
    // Audio thread: the block asked for covered `frames` frames.
    void blockRendered(int frames) { m_frame += frames; }
    // Audio thread: the output lost `frames` frames (the server played a hole where they
    // would have gone): stream time moves on by as much; or, negative, the
    // server dropped that many of those given last: it goes back.
    void skip(std::int64_t frames) { m_frame += frames; }

    // Before a stream's first block, while no audio thread runs the clock
    // (the thread that starts the stream): whether the stream follows its
    // holes itself.
    void streamStarted(bool followsHoles);

    // Audio thread: whether a block has been asked for.
    bool started() const { return m_started; }
    // Audio thread: the first frame of the block being rendered.
    std::int64_t frame() const { return m_frame; }
    // Audio thread: the frame on which stream time `streamNs` falls.
    std::int64_t frameAt(std::int64_t streamNs) const { return framesFor(streamNs - m_originNs); }

    // Any thread: the stream time at monotonic time `monotonicNs` (the
    // monotonic time itself before the first block).
    std::int64_t streamNs(std::int64_t monotonicNs) const;

    // Audio thread, before a block: the graph's time of the cycle the block
    // is rendered in (a PipeWire output's), which ties the graph's clock to
    // the stream's frames exactly.
    void graphCycle(std::int64_t graphNs);
    // Any thread: the stream time at graph time `graphNs` (a MIDI event's
    // in the same graph), exact to the frame, by the latest graph cycle
    // within a second of it; else by the monotonic clock (streamNs()).
    std::int64_t streamNsAtGraph(std::int64_t graphNs) const;

    // Any thread: stream time to frames and back, exact for whole multiples
    // of 1/rate.
    std::int64_t framesFor(std::int64_t ns) const;
    std::int64_t nsFor(std::int64_t frames) const;

    // Counters, readable from any thread.
    // Blocks asked for more than their own duration later than the clock
    // predicted: the output may have run dry before them.
    std::uint64_t lateBlocks() const { return m_lateBlocks.load(std::memory_order_relaxed); }
    // Times the output went unserviced for longer than FrameClock::kResetNs.
    std::uint64_t stalls() const { return m_stalls.load(std::memory_order_relaxed); }

private:
    // Stream time goes on from where the monotonic clock says it is.
    void catchUp(std::int64_t nowNs);

    int m_rate;

    // Audio thread only (and the starting thread, before a stream).
    FrameClock m_clock;
    StreamAnchor m_anchor;
    bool m_started = false;
    bool m_followsHoles = false;
    bool m_newStream = false;
    std::int64_t m_originNs = 0; // monotonic time of frame 0
    std::int64_t m_frame = 0;    // first frame of the block being rendered

    // Monotonic time minus stream time, as last published by the audio
    // thread; kNotStarted before the first block.
    static constexpr std::int64_t kNotStarted = INT64_MIN;
    std::atomic<std::int64_t> m_streamDistance{kNotStarted};

    // The latest graph cycle: its time, and the stream time of the block
    // rendered in it; a sequence count around their writing (odd: being
    // written).
    std::atomic<std::uint64_t> m_cycleSequence{0};
    std::atomic<std::int64_t> m_cycleGraphNs{0};
    std::atomic<std::int64_t> m_cycleStreamNs{0};

    std::atomic<std::uint64_t> m_lateBlocks{0};
    std::atomic<std::uint64_t> m_stalls{0};
};
