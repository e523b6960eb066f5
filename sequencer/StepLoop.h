#pragma once

#include "keys/PatternLength.h"

#include <array>
#include <cstdint>
#include <optional>

// The loop's timing: which of the seven steps are armed and when each is due.
//
// A step is armed with a due time; its tick disarms it and arms the next step
// one interval after its own due time (the seventh arms the first), so a
// running chain keeps its grid, start + k × interval, however late its ticks
// come. Start arms step 1 one interval after the start beside whatever is
// armed; arming an armed step restarts its count, which is how a second
// chain forms and how two chains merge. Stop disarms all seven.
//
// Plain data: every time is passed in, in nanoseconds of the caller's clock;
// nothing here reads a clock or runs a timer. Not thread-safe: one owner.
class StepLoop
{
public:
    static constexpr std::int64_t kIntervalNs = 200'000'000;

    void start(std::int64_t nowNs);
    void stop();

    // The tick of `step` (1 to 7): disarms it and arms the next step. Returns
    // the time the step was due; a step that was not armed counts as due now.
    std::int64_t tick(int step, std::int64_t nowNs);

    bool isArmed(int step) const;
    std::optional<std::int64_t> dueNs(int step) const;
    bool isStopped() const;

    // The armed step that is due first (the lowest of equals), if any.
    std::optional<int> firstDue() const;
    // The same, if it is due by `untilNs`.
    std::optional<int> dueBy(std::int64_t untilNs) const;

    // The step that follows `step`.
    static constexpr int nextStep(int step) { return step % PatternLength::kSteps + 1; }

private:
    std::array<std::optional<std::int64_t>, PatternLength::kSteps> m_due{};
};
