#pragma once

#include "audio/core/SampleRate.h"

#include <cstddef>
#include <optional>
#include <vector>

// Makes a recorded take into a sample: mono frames at kRate in, the sound to
// save out; the part kept found in the take, or chosen by the user.
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

// The frames of a take kept: [begin, end).
struct Span
{
    std::size_t begin = 0;
    std::size_t end = 0;
    bool operator==(const Span &) const = default;
};

// Where the sound of a take is (its silence trimmed, kLeadMs kept before
// it), or nothing when it holds no sound.
std::optional<Span> soundIn(const std::vector<float> &take);

// The take's `span` (within the take) made a sample: DC removed, the peak
// at kPeakDb, the fades; empty where the span is.
std::vector<float> edit(const std::vector<float> &take, Span span);

// The take made a sample where soundIn() finds its sound.
std::optional<std::vector<float>> edit(const std::vector<float> &take);

} // namespace TakeEditor
