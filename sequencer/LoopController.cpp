#include "sequencer/LoopController.h"

#include "sequencer/StepSequencer.h"
#include "sound/SoundSink.h"

LoopController::LoopController(SoundSink &sound, Pattern pattern, QObject *owner)
    : m_sound(sound)
    , m_pattern(std::move(pattern))
    , m_clock(std::make_unique<StepClock>([&sound] { return sound.nowNs(); }, owner))
{
    m_clock->setAhead([&sound] { return sound.aheadNs(); });
    QObject::connect(m_clock.get(), &StepClock::stepDue, m_clock.get(), [this](int step, std::int64_t beatNs) {
        if (const StepHandler &handler = m_handlers[std::size_t(step - 1)])
            handler(beatNs);
        else
            playStep(step, beatNs);
    });
}

LoopController::~LoopController() = default;

void LoopController::setStepHandlers(std::array<StepHandler, PatternLength::kSteps> handlers)
{
    m_handlers = std::move(handlers);
}

bool LoopController::play()
{
    if (m_pattern().isEmpty())
        return false;
    m_playing = true;
    m_clock->start();
    return true;
}

void LoopController::stop()
{
    m_clock->stop();
    // A step on its beat already has been heard.
    m_sound.withdrawSteps(m_sound.nowNs() + 1);
    m_playing = false;
}

void LoopController::playStep(int step, std::int64_t beatNs)
{
    // Stamped with the step's beat, not the time its turn happened to run:
    // the sound lands on the clock's grid.
    m_sound.playStep(StepSequencer::stepName(m_pattern(), step), beatNs);
}

void LoopController::patternChanged()
{
    const auto steps = m_clock->stepsToCome();
    if (steps.empty())
        return;
    m_sound.withdrawSteps(steps.front().second);
    for (const auto &[step, due] : steps)
        playStep(step, due);
}
