#pragma once

#include "SampleBuffer.h"

#include <memory>
#include <string>

// Reads a WAV file and converts it to the output format (stereo float at the
// output's rate). PCM of 8, 16, 24 and 32 bits, float, A-law, mu-law and
// ADPCM, mono or stereo, at any rate. Anything else counts as unreadable:
// a file that is empty, truncated, larger than kMaxFileBytes, longer than
// kMaxSeconds, or whose header announces sizes the file does not hold.
// Never called on the audio thread.
class WavLoader
{
public:
    static constexpr long long kMaxFileBytes = 64LL * 1024 * 1024;
    static constexpr int kMaxSeconds = 60;

    // The converted sound, or null when the file is not a readable WAV.
    static std::shared_ptr<const SampleBuffer> load(const std::string &path, int outputRate);
};
