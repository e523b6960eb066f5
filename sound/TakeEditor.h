#pragma once

#include "audio/core/SampleRate.h"

#include <optional>
#include <vector>

// Makes a recorded take into a sample: mono frames at kRate in, the sound to
// save out.
//
// In order: the DC offset (the take's mean) is removed; leading and trailing
// silence are trimmed, silence being below kThresholdDb, keeping kLeadMs
// before the first sound; the peak is brought to kPeakDb; a kFadeInMs fade-in
// and a kFadeOutMs fade-out keep both ends from clicking. A take with no
// sound above the threshold is refused.
namespace TakeEditor {

constexpr int kRate = kSampleRate;
constexpr double kThresholdDb = -45.0;
constexpr double kPeakDb = -3.0;
constexpr double kLeadMs = 5.0;
constexpr double kFadeInMs = 1.0;
constexpr double kFadeOutMs = 5.0;

// The edited take, or nothing when it holds no sound.
std::optional<std::vector<float>> edit(const std::vector<float> &take);

} // namespace TakeEditor
