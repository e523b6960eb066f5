#pragma once

#include "audio/core/SampleRate.h"

#include <atomic>
#include <cstdint>

// Finds, from the graph's clock read at each of our cycles, the frames a
// PipeWire graph played without us (a hole of ours): the voice skips as many,
// so that what follows keeps its place on the graph's timeline.
//
// The graph's time is read as a difference per cycle: its ticks, at its own
// rate, or, across a change of that rate or a pause of our stream (the graph
// stops a while to change its rate), its cycles' times. Beyond the frames
// we gave last, a quantum or more is a hole, but only where our own clock
// agrees that the time passed: a graph that wakes late runs two cycles close
// together, and its ticks jump by two quanta between two of our cycles
// without any of ours lost. A hole followed is taken back when the graph
// asks again within the next cycle (its queue absorbed the hole and it
// refills it: nothing was lost).
//
// When the quantum shrinks, the block we gave for the larger one is played as
// far as the graph's next cycle goes and the rest dropped (measured on
// PipeWire 0.3.65: 768 frames lost going from 1024 back to 256): stream time
// goes back by the frames dropped, which are played again.
//
// The graph's quantum and rate are kept for the log: a quantum counts once
// kSameCycles cycles in a row have it (a graph that misses cycles does not
// change its quantum).
//
// Audio thread, except where a method says otherwise.
class HoleFinder
{
public:
    static constexpr int kSameCycles = 8;

    // One cycle, as read before rendering it: the graph's ticks at its rate
    // (rateNum / rateDenom seconds a tick), the graph's time of the cycle,
    // our monotonic time, and the frames the graph asks of us.
    struct Cycle
    {
        std::uint64_t ticks = 0;
        std::uint32_t rateNum = 1;
        std::uint32_t rateDenom = kSampleRate;
        std::int64_t graphNs = 0;
        std::int64_t nowNs = 0;
        int frames = 0;
    };

    explicit HoleFinder(int rate)
        : m_rate(rate)
    {}

    // The frames to skip before this cycle is rendered (0 mostly); negative:
    // the frames the graph dropped of those given last.
    std::int64_t cycle(const Cycle &now);

    // Before a stream's first cycle.
    void restart() { m_known = false; }
    // The graph paused the stream, which runs again from the next cycle.
    void resumed() { m_paused = true; }

    // Any thread: the graph's quantum (ticks a cycle) and rate (ticks a
    // second) as last confirmed; 0 before.
    int graphQuantum() const { return m_quantum.load(std::memory_order_relaxed); }
    int graphRate() const { return m_graphRate.load(std::memory_order_relaxed); }
    // Any thread: holes followed, and their frames.
    std::uint64_t holes() const { return m_holes.load(std::memory_order_relaxed); }
    std::uint64_t framesSkipped() const { return m_skipped.load(std::memory_order_relaxed); }
    std::uint64_t framesDropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    int m_rate;
    bool m_known = false;
    Cycle m_last;
    std::int64_t m_followed = 0; // the hole followed at the last cycle
    std::int64_t m_lastTicksMoved = -1;
    int m_sameMoves = 0;
    bool m_paused = false;

    std::atomic<int> m_quantum{0};
    std::atomic<int> m_graphRate{0};
    std::atomic<std::uint64_t> m_holes{0};
    std::atomic<std::uint64_t> m_skipped{0};
    std::atomic<std::uint64_t> m_dropped{0};
};
