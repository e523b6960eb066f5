#pragma once

#include "audio/core/SampleRate.h"

#include <string>
#include <vector>

// Synthesizes the sample kit: drums, sung vowels, voice-like consonants and
// effects, one mono sound per file name, all deterministic.
class KitSynth
{
public:
    static constexpr int kRate = kSampleRate;

    struct Sound
    {
        std::string file;
        std::vector<double> samples; // finished: no DC, soft ends, normalized
    };

    static std::vector<Sound> all();

    // Peak level every sound is normalized to, in dBFS: the ceiling.
    static constexpr double kPeakDb = -3.0;
    // The drums (kick, snare, toms) are balanced by loudness instead: each
    // at this RMS over the first kLoudnessMs of the hit, under the ceiling.
    // The hi-hat and the crash stay at the ceiling: about 11 and 3 dB under
    // the drums by plain RMS, their energy high where the ear is keenest.
    static constexpr double kDrumRmsDb = -12.0;
    static constexpr double kLoudnessMs = 150.0;
};
