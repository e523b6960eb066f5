#pragma once

#include <cstdint>

// Maps monotonic times to output frames, on the audio thread.
//
// The output asks for a block of frames at a time; the moment each request
// arrives jitters with scheduling. A delay-locked loop (second order,
// bandwidth kBandwidthHz) filters those moments into a steady estimate of when
// each block starts and how long a block lasts, so that a time can be placed
// on the right frame inside a block. With an exact clock it is exact.
class FrameClock
{
public:
    static constexpr double kBandwidthHz = 0.5;
    // A block whose start misses the prediction by more than this restarts
    // the loop (device stalled, machine suspended).
    static constexpr std::int64_t kResetNs = 100'000'000;

    FrameClock(int rate, int blockFrames);

    // Called at the start of every block, with the time read on entry and
    // the index of the block's first frame. Returns how much later than
    // predicted the block started, in nanoseconds (negative: earlier).
    std::int64_t blockStarted(std::int64_t nowNs, std::int64_t firstFrame);

    // Nanoseconds per frame, as measured.
    double nsPerFrame() const;

    // Starts the loop afresh: the block starting now begins at `firstFrame`.
    void restart(std::int64_t nowNs, std::int64_t firstFrame);

private:
    void reset(std::int64_t nowNs);

    int m_rate;
    int m_blockFrames;
    double m_b;
    double m_c;
    bool m_started = false;
    std::int64_t m_base = 0;   // all times below are relative to this
    std::int64_t m_frame0 = 0; // first frame of the current block
    double m_t0 = 0.0;         // filtered start of the current block
    double m_t1 = 0.0;         // predicted start of the next block
    double m_period = 0.0;     // filtered block duration
};
