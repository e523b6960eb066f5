#pragma once

#include <climits>
#include <cstdint>

// When an output's cushion (the frames kept queued ahead of the sink) must
// grow, from the times the server reported underruns.
//
// Underruns within kHoldUpMs of a hold-up's first come from that one
// hold-up of the machine (on a quiet virtual machine they come in trains
// of up to most of a second, and a client beside us has its holes at the
// same moments). A hold-up on its own (a virtual machine's host
// taking the core, an idle core waking late) leaves the cushion as it is:
// other clients of the server mostly have a hole then too, and a larger
// cushion would cost every later key its frames without preventing the
// next one. A
// hold-up within kRepeatMs of the underrun before it means the cushion is too
// small for what the machine does now: it grows by one step, up to a
// ceiling. It never shrinks.
//
// Plain arithmetic on the times given; one thread at a time.
class CushionGrowth
{
public:
    static constexpr std::int64_t kHoldUpMs = 1000;
    static constexpr std::int64_t kRepeatMs = 3000;

    enum class Verdict {
        SameHoldUp, // part of a hold-up already answered
        Alone,      // the first underrun for a while: the cushion stays
        Grown,      // the cushion grew by a step
        AtCeiling,  // it would have grown, but is at its ceiling
    };

    CushionGrowth(int startFrames, int stepFrames, int ceilingFrames)
        : m_frames(startFrames)
        , m_step(stepFrames)
        , m_ceiling(ceilingFrames)
    {}

    // The server reported one or more underruns, seen at monotonic `nowNs`.
    Verdict underrun(std::int64_t nowNs);

    int frames() const { return m_frames; }

private:
    int m_frames;
    int m_step;
    int m_ceiling;
    std::int64_t m_lastNs = INT64_MIN / 2;   // the latest underrun
    std::int64_t m_holdUpNs = INT64_MIN / 2; // the latest hold-up's first underrun
};
