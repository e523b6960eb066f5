#pragma once

#include "audio/core/SampleBuffer.h"

#include <memory>
#include <optional>
#include <string>

// Reads a WAV file and converts it to the output format (stereo float at the
// output's rate). PCM of 8, 16, 24 and 32 bits, float, A-law, mu-law and
// ADPCM, mono or stereo, at rates from kMinRate to kMaxRate. Anything else
// counts as unreadable: a file that is empty, truncated, larger than
// kMaxFileBytes, longer than kMaxSeconds (judged from the header before
// anything is decoded, and again after), or whose header announces sizes the
// file does not hold.
// Never called on the audio thread.
class WavLoader
{
public:
    static constexpr long long kMaxFileBytes = 64LL * 1024 * 1024;
    static constexpr int kMaxSeconds = 60;
    static constexpr int kMinRate = 1000;
    static constexpr int kMaxRate = 384000;

    // The converted sound, or null when the file is not a readable WAV.
    static std::shared_ptr<const SampleBuffer> load(const std::string &path, int outputRate);

    // The same for the bytes of a WAV file already in memory.
    static std::shared_ptr<const SampleBuffer> decode(const char *data, std::size_t size, int outputRate);

    // What a WAV file's header announces, read without decoding anything.
    struct Header
    {
        int format = 0; // the format tag (1 PCM, 2 MS ADPCM, 3 float, 0x11 IMA ADPCM...)
        int channels = 0;
        int rate = 0;
        int blockAlign = 0;
        int samplesPerBlock = 0; // ADPCM only
        long long frames = 0;    // the sound's length once decoded (at most, for ADPCM)
    };
    // Nothing when the file is no WAV or announces chunks it does not hold.
    static std::optional<Header> readHeader(const char *data, std::size_t size);
};
