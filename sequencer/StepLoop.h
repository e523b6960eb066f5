#pragma once

#include "keys/PatternLength.h"
#include "keys/Tempo.h"

#include <array>
#include <cstdint>
#include <optional>

// The loop's timing: which of the seven steps are armed and when each is due.
//
// A step is armed with a due time; its tick disarms it and arms the next step
// one interval after its own straight beat (the seventh arms the first), so a
// running chain keeps its grid, start + k × interval, however late its ticks
// come. The interval is the tempo's (Tempo: 200 ms by default), every second
// step swung late by the tempo's swing; a new tempo moves the steps armed
// at once (each an interval after the beat that armed it), so it is heard
// from the next step on (setTempo()). Start arms step 1 one interval after the start beside whatever is
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

    // A new tempo: each armed step is due an interval of it after the beat
    // that armed it, but never before `earliestNs` (the time a step must be
    // asked for by): a faster tempo whose next beat has passed begins its
    // grid there.
    void setTempo(const Tempo &tempo, std::int64_t earliestNs);
    const Tempo &tempo() const { return m_tempo; }

    // The tick of `step` (1 to 7): disarms it and arms the next step. Returns
    // the time the step was due; a step that was not armed counts as due now.
    std::int64_t tick(int step, std::int64_t nowNs);

    // When `step` is due; none where it is not armed.
    std::optional<std::int64_t> dueNs(int step) const;

    // The armed step that is due first (the lowest of equals), if any.
    std::optional<int> firstDue() const;
    // The same, if it is due by `untilNs`.
    std::optional<int> dueBy(std::int64_t untilNs) const;

    // The step that follows `step`.
    static constexpr int nextStep(int step) { return step % PatternLength::kSteps + 1; }

private:
    // The straight beat that armed each step (the step before's, or the
    // start); the step is due an interval, and its swing, later.
    std::array<std::optional<std::int64_t>, PatternLength::kSteps> m_armedAt{};
    Tempo m_tempo;
};
