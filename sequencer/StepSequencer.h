#pragma once

#include <QString>

#include <string>

// The rules of the loop: seven steps, one character position each, one step
// every kStepMs; step k plays the character at position k of the pattern as
// it reads at that moment, and then hands over to the next step, the seventh
// to the first.
namespace StepSequencer {

constexpr int kSteps = 7;
constexpr int kStepMs = 200;

// The sample name of step `step` (1 to 7): the character at that position of
// `pattern`, unchanged, as UTF-8; empty when the pattern is shorter.
std::string stepName(const QString &pattern, int step);

// The step that follows `step` (1 to 7).
constexpr int nextStep(int step)
{
    return step % kSteps + 1;
}

} // namespace StepSequencer
