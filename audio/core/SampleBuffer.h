#pragma once

#include <cstddef>
#include <vector>

// A sound ready for the output: float frames at the output's rate, one
// channel or two as the file had them (a mono sound costs half). Immutable
// once built; the audio thread only reads it.
struct SampleBuffer
{
    static constexpr int kOutputChannels = 2; // what the outputs play

    int channels = 2;           // 1 or 2
    std::vector<float> samples; // interleaved: left, right, left... or one channel

    std::size_t frames() const { return samples.size() / std::size_t(channels); }

    // Frame `frame` of channel `channel` (0 left, 1 right): a mono sound
    // plays the same on both.
    float at(std::size_t frame, int channel) const
    {
        return samples[frame * std::size_t(channels) + std::size_t(channel < channels ? channel : 0)];
    }

    // The sound as interleaved stereo, whatever it holds.
    std::vector<float> stereo() const
    {
        if (channels == 2)
            return samples;
        std::vector<float> both(samples.size() * 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            both[2 * i] = both[2 * i + 1] = samples[i];
        return both;
    }
};
