#pragma once

#include "sequencer/StepClock.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class SoundSink;

// The loop under the window: "Esegui" starts it and "Ferma" stops it; at
// each step's turn the clock calls that step's handler with the beat it
// stands for, and the handler has the step played: the pattern's character
// at its position, as the pattern reads then, stamped with the beat. Whether
// the loop plays is what the window colours its buttons by.
//
// The window's thread; nothing here blocks.
class LoopController
{
public:
    // A step's handler: the step is due for `beatNs`.
    using StepHandler = std::function<void(std::int64_t beatNs)>;
    using Pattern = std::function<QString()>;

    // Steps go to `sound`, on its clock; `pattern` reads the pattern now.
    // The clock is a child of `owner` (found among the window's timers), and
    // goes with the controller.
    LoopController(SoundSink &sound, Pattern pattern, QObject *owner = nullptr);
    ~LoopController();

    LoopController(const LoopController &) = delete;
    LoopController &operator=(const LoopController &) = delete;

    // Who handles each step's turn, steps 1 to 7.
    void setStepHandlers(std::array<StepHandler, PatternLength::kSteps> handlers);

    // "Esegui": arms step 1 an interval from now, beside whatever step is
    // armed (arming it again restarts its count). False, and nothing
    // happens, where the pattern is empty.
    bool play();
    // "Ferma": no step sounds any more, a step asked for ahead of its beat
    // included.
    void stop();
    bool playing() const { return m_playing; }

    // Step `step` (1 to 7) sounds for `beatNs`.
    void playStep(int step, std::int64_t beatNs);
    // The pattern changed: the steps asked for whose beats are still to
    // come play the new text instead.
    void patternChanged();

    void setTempo(const Tempo &tempo) { m_clock->setTempo(tempo); }
    const Tempo &tempo() const { return m_clock->tempo(); }
    // The clock, for who shows the step that sounds (StepClock::stepSounding).
    StepClock &clock() { return *m_clock; }

private:
    SoundSink &m_sound;
    Pattern m_pattern;
    std::unique_ptr<StepClock> m_clock;
    std::array<StepHandler, PatternLength::kSteps> m_handlers;
    bool m_playing = false;
};
