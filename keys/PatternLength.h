#pragma once

// The pattern field holds seven characters at the most; the loop has a step
// for each of them.
namespace PatternLength {

inline constexpr int kSteps = 7;

} // namespace PatternLength
