#pragma once

#include <QString>

#include <string>

// What each step of the loop plays: step k plays the character at position
// k of the pattern as it reads at that moment. When the steps come is
// StepLoop's business.
namespace StepSequencer {

// The sample name of step `step` (1 to 7): the character at that position of
// `pattern`, unchanged, as UTF-8; empty when the pattern is shorter.
std::string stepName(const QString &pattern, int step);

} // namespace StepSequencer
