#pragma once

#include "audio/core/SampleBuffer.h"

#include <memory>
#include <string>

// Reads a kit's sample as kits ship them, and converts it once to the
// output's rate: WAV, FLAC, Ogg Vorbis and AIFF (libsndfile), 8 to 32-bit
// PCM or float, mono or stereo (more channels: the first two), any rate from
// kMinRate to kMaxRate, resampled by libsamplerate's sinc converter (a
// band-limited converter made for sound; its medium quality keeps 97 dB of
// signal to noise over 90 % of the band, and converts a large kit in a
// third of the time of its best, which a user waits for).
//
// A file is refused, before anything is decoded, when it is larger than
// kMaxFileBytes or announces more than kMaxSeconds; what it decodes to is
// checked again (a header may lie). Samples come out clipped to full scale,
// never NaN, their last milliseconds faded (a cut sample does not click).
// Any thread but the audio thread; may block on the file.
class KitSampleDecoder
{
public:
    static constexpr long long kMaxFileBytes = 256LL * 1024 * 1024;
    static constexpr int kMaxSeconds = 30;
    static constexpr int kMinRate = 4000;
    static constexpr int kMaxRate = 384000;

    // The sound, or null with `why` said.
    static std::shared_ptr<const SampleBuffer> load(const std::string &path, int outputRate, std::string &why);
};
