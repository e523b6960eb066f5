#include "sequencer/StepClock.h"

#include <QTimer>

#include <algorithm>

namespace {

constexpr std::int64_t kMs = 1'000'000;

// A wait of `ns` as a timer's milliseconds, within the longest interval.
int timerMs(std::int64_t ns)
{
    const std::int64_t longest = Tempo{Tempo::kMinStepsPerMinute, Tempo::kMaxSwingPercent}.intervalNs() * 3 / 2;
    return int(std::clamp<std::int64_t>(ns / kMs, 0, longest / kMs));
}

} // namespace

StepClock::StepClock(Clock nowNs, QObject *parent)
    : QObject(parent)
    , m_now(std::move(nowNs))
    , m_timer(new QTimer(this))
{
    // One timer for the seven steps: it wakes for whichever step is due
    // next, to the millisecond, not 5 % coarse.
    m_timer->setObjectName(QStringLiteral("stepClock"));
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &StepClock::runDueSteps);
}

void StepClock::start()
{
    m_loop.start(m_now());
    schedule();
}

void StepClock::stop()
{
    m_loop.stop();
    m_timer->stop();
    m_asked.clear();
    ++m_generation;
    emit stepSounding(0);
}

std::int64_t StepClock::tick(int step)
{
    const std::int64_t now = m_now();
    const std::int64_t beat = m_loop.tick(step, now);
    std::erase_if(m_asked, [now](const auto &asked) { return asked.second <= now; });
    m_asked.emplace_back(step, beat);
    const int generation = m_generation;
    QTimer::singleShot(timerMs(beat - now), Qt::PreciseTimer, this, [this, step, generation] {
        if (generation == m_generation)
            emit stepSounding(step);
    });
    schedule();
    return beat;
}

void StepClock::setTempo(const Tempo &tempo)
{
    m_loop.setTempo(tempo, m_now() + leadNs());
    schedule();
}

std::vector<std::pair<int, std::int64_t>> StepClock::stepsToCome()
{
    const std::int64_t now = m_now();
    std::erase_if(m_asked, [now](const auto &asked) { return asked.second <= now; });
    return m_asked;
}

std::int64_t StepClock::leadNs() const
{
    return m_ahead ? std::max(kLeadNs, m_ahead()) : kLeadNs;
}

void StepClock::runDueSteps()
{
    const std::int64_t now = m_now();
    while (const auto step = m_loop.dueBy(now + leadNs())) {
        const auto due = m_loop.dueNs(*step);
        if (*due + m_loop.tempo().intervalNs() < now) {
            m_loop.tick(*step, now); // missed by more than a step: silent
            continue;
        }
        emit stepDue(*step, tick(*step));
    }
    schedule();
}

void StepClock::schedule()
{
    const auto step = m_loop.firstDue();
    if (!step) {
        m_timer->stop();
        return;
    }
    m_timer->start(timerMs(*m_loop.dueNs(*step) - leadNs() - m_now() + kMs - 1)); // never early
}
