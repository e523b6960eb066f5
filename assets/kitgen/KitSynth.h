#pragma once

#include "audio/SampleRate.h"

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

    // Peak level every sound is normalized to, in dBFS.
    static constexpr double kPeakDb = -3.0;
};
