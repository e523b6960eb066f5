#pragma once

#include <climits>
#include <cstdint>

// How many frames an output keeps queued ahead of the sink (its cushion),
// from the times the server ran dry: no holes first, then the smallest
// cushion that keeps none.
//
// Every hole counts, whatever caused it: the cushion grows by a step, up to
// a ceiling. Underruns within kSameHoleMs of a growth are that hole's (the
// grown cushion has not filled yet, and a hold-up of the machine comes in a
// train of most of a second). After kCleanMs without a hole it comes
// back down, a step every kShrinkEveryMs, to its quiet size: a burst of load
// that ended leaves no delay behind. The owner shrinks it only between
// sounds, so that no sound is cut; a hole grows it again.
//
// Plain arithmetic on the times given; one thread at a time.
class CushionSize
{
public:
    static constexpr std::int64_t kSameHoleMs = 1000;
    static constexpr std::int64_t kCleanMs = 30'000;
    static constexpr std::int64_t kShrinkEveryMs = 2'000;

    CushionSize(int quietFrames, int stepFrames, int ceilingFrames)
        : m_frames(quietFrames)
        , m_quiet(quietFrames)
        , m_step(stepFrames)
        , m_ceiling(ceilingFrames)
    {}

    // The server ran dry at monotonic `nowNs`. True when the cushion grew.
    bool hole(std::int64_t nowNs);
    // Whether the cushion is due to come down a step at `nowNs`.
    bool shrinkDue(std::int64_t nowNs) const;
    // It comes down a step (when shrinkDue()).
    void shrink(std::int64_t nowNs);

    int frames() const { return m_frames; }

private:
    int m_frames;
    int m_quiet;
    int m_step;
    int m_ceiling;
    std::int64_t m_holeNs = INT64_MIN / 2;   // the latest hole
    std::int64_t m_grownNs = INT64_MIN / 2;  // the latest growth
    std::int64_t m_shrunkNs = INT64_MIN / 2; // the latest step down
};
