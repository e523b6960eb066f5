#include "sequencer/StepLoop.h"

void StepLoop::start(std::int64_t nowNs)
{
    m_armedAt[0] = nowNs;
}

void StepLoop::setTempo(const Tempo &tempo, std::int64_t earliestNs)
{
    m_tempo = tempo.clamped();
    for (int step = 1; step <= PatternLength::kSteps; ++step)
        if (auto &armedAt = m_armedAt[std::size_t(step - 1)]; armedAt && *dueNs(step) < earliestNs)
            *armedAt += earliestNs - *dueNs(step);
}

void StepLoop::stop()
{
    m_armedAt.fill(std::nullopt);
}

std::int64_t StepLoop::tick(int step, std::int64_t nowNs)
{
    auto &armedAt = m_armedAt[std::size_t(step - 1)];
    const std::int64_t straight = armedAt ? *armedAt + m_tempo.intervalNs() : nowNs;
    const std::int64_t when = armedAt ? straight + m_tempo.swingNs(step) : nowNs;
    armedAt.reset();
    m_armedAt[std::size_t(nextStep(step) - 1)] = straight;
    return when;
}

std::optional<std::int64_t> StepLoop::dueNs(int step) const
{
    const auto &armedAt = m_armedAt[std::size_t(step - 1)];
    if (!armedAt)
        return std::nullopt;
    return *armedAt + m_tempo.intervalNs() + m_tempo.swingNs(step);
}

std::optional<int> StepLoop::firstDue() const
{
    std::optional<int> first;
    for (int step = 1; step <= PatternLength::kSteps; ++step)
        if (const auto due = dueNs(step); due && (!first || *due < *dueNs(*first)))
            first = step;
    return first;
}

std::optional<int> StepLoop::dueBy(std::int64_t untilNs) const
{
    const auto first = firstDue();
    if (first && *dueNs(*first) <= untilNs)
        return first;
    return std::nullopt;
}
