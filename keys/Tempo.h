#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The loop's tempo: steps a minute (300 by default: a step every 200 ms)
// and swing, the lateness of every second step (the 2nd, 4th and 6th of the
// seven) as a share of a step, 0 to 50 %: at 33 % the steps fall as
// triplets, at 50 % as dotted notes. Kept as a settings file's text, a
// "name=value" a line. Plain values.
struct Tempo
{
    static constexpr int kDefaultStepsPerMinute = 300;
    static constexpr int kMinStepsPerMinute = 30;
    static constexpr int kMaxStepsPerMinute = 600;
    static constexpr int kMaxSwingPercent = 50;

    int stepsPerMinute = kDefaultStepsPerMinute;
    int swingPercent = 0;

    // The straight interval from a step to the next, in nanoseconds
    // (rounded to the nanosecond: at 180 steps a minute a third of a
    // nanosecond a step, a frame in over five hours).
    std::int64_t intervalNs() const;
    // How late step `step` (1 to 7) sounds after its straight beat.
    std::int64_t swingNs(int step) const;
    // Beats a minute, the step a sixteenth note.
    double bpm() const { return stepsPerMinute / 4.0; }

    // Within its bounds.
    Tempo clamped() const;

    // "steps=300\nswing=0\n"; a line that cannot be read keeps its default.
    std::string text() const;
    static Tempo fromText(std::string_view text);

    bool operator==(const Tempo &) const = default;
};
