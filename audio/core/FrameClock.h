#pragma once

#include <cstdint>

// Maps monotonic times to output frames, on the audio thread.
//
// The output asks for a block of frames at a time; the moment each request
// arrives jitters with scheduling, and the blocks need not be of one size (a
// graph's quantum can change while it runs). A delay-locked loop (second
// order, bandwidth kBandwidthHz, its gains set for each block's length)
// filters those moments into a steady estimate of when each block starts and
// how long a frame lasts, and so predicts the start of the next block from
// the frames of this one. With an exact clock it is exact.
class FrameClock
{
public:
    static constexpr double kBandwidthHz = 0.5;
    // A block whose start misses the prediction by more than this restarts
    // the loop (device stalled, machine suspended).
    static constexpr std::int64_t kResetNs = 100'000'000;

    explicit FrameClock(int rate);

    // Called at the start of every block, with the time read on entry and
    // the frames the block covers. Returns how much later than predicted
    // the block started, in nanoseconds (negative: earlier); 0 for the
    // first block after a restart.
    std::int64_t blockStarted(std::int64_t nowNs, int frames);

    // Starts the loop afresh at the next block.
    void restart() { m_started = false; }

private:
    int m_rate;
    bool m_started = false;
    std::int64_t m_base = 0;   // the times below are relative to this
    double m_next = 0.0;       // predicted start of the next block
    double m_nsPerFrame = 0.0; // filtered
    int m_frames = 0;          // the latest block's
};
