#include "sequencer/StepLoop.h"

void StepLoop::start(std::int64_t nowNs)
{
    m_due[0] = nowNs + kIntervalNs;
}

void StepLoop::stop()
{
    m_due.fill(std::nullopt);
}

std::int64_t StepLoop::tick(int step, std::int64_t nowNs)
{
    auto &due = m_due[std::size_t(step - 1)];
    const std::int64_t when = due.value_or(nowNs);
    due.reset();
    m_due[std::size_t(nextStep(step) - 1)] = when + kIntervalNs;
    return when;
}

bool StepLoop::isArmed(int step) const
{
    return m_due[std::size_t(step - 1)].has_value();
}

std::optional<std::int64_t> StepLoop::dueNs(int step) const
{
    return m_due[std::size_t(step - 1)];
}

bool StepLoop::isStopped() const
{
    return !firstDue();
}

std::optional<int> StepLoop::firstDue() const
{
    std::optional<int> first;
    for (int step = 1; step <= PatternLength::kSteps; ++step)
        if (const auto due = m_due[std::size_t(step - 1)]; due && (!first || *due < *m_due[std::size_t(*first - 1)]))
            first = step;
    return first;
}

std::optional<int> StepLoop::dueBy(std::int64_t untilNs) const
{
    const auto first = firstDue();
    if (first && *m_due[std::size_t(*first - 1)] <= untilNs)
        return first;
    return std::nullopt;
}
