#pragma once

#include <cstddef>
#include <vector>

// A sound ready for the output: interleaved stereo float frames at the
// output's rate. Immutable once built; the audio thread only reads it.
struct SampleBuffer
{
    static constexpr int kChannels = 2;

    std::vector<float> samples; // left, right, left, right...

    std::size_t frames() const { return samples.size() / kChannels; }
};
