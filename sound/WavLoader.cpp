#include "WavLoader.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

struct WavFree
{
    void operator()(Uint8 *p) const { SDL_FreeWAV(p); }
};

struct StreamFree
{
    void operator()(SDL_AudioStream *s) const { SDL_FreeAudioStream(s); }
};

bool readWhole(const std::string &path, std::vector<char> &bytes)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > WavLoader::kMaxFileBytes)
        return false;
    bytes.resize(std::size_t(size));
    in.seekg(0);
    return bool(in.read(bytes.data(), size));
}

// A sound that stops short of silence would click when it ends: bring its
// last millisecond down to zero.
void softenEnd(std::vector<float> &samples, int rate)
{
    const std::size_t frames = samples.size() / SampleBuffer::kChannels;
    const std::size_t ramp = std::min<std::size_t>(frames, std::size_t(rate / 1000));
    for (std::size_t i = 0; i < ramp; ++i) {
        const float gain = float(i) / float(ramp);
        const std::size_t frame = frames - 1 - i;
        for (int c = 0; c < SampleBuffer::kChannels; ++c)
            samples[frame * SampleBuffer::kChannels + c] *= gain;
    }
}

} // namespace

std::shared_ptr<const SampleBuffer> WavLoader::load(const std::string &path, int outputRate)
{
    std::vector<char> bytes;
    if (outputRate <= 0 || !readWhole(path, bytes))
        return nullptr;

    // A data chunk shorter than its header says is an error, not a shorter sound.
    SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "strict");
    SDL_SetHint(SDL_HINT_WAVE_RIFF_CHUNK_SIZE, "maximum");

    SDL_AudioSpec spec{};
    Uint8 *raw = nullptr;
    Uint32 rawLen = 0;
    SDL_RWops *rw = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
    if (!rw || !SDL_LoadWAV_RW(rw, 1, &spec, &raw, &rawLen))
        return nullptr;
    const std::unique_ptr<Uint8, WavFree> pcm(raw);
    if (spec.freq <= 0 || spec.channels < 1 || spec.channels > 2 || rawLen == 0)
        return nullptr;

    const std::unique_ptr<SDL_AudioStream, StreamFree> stream(SDL_NewAudioStream(
        spec.format, spec.channels, spec.freq, AUDIO_F32SYS, SampleBuffer::kChannels, outputRate));
    // The resampler holds back the tail of its input even when flushed: feed
    // it silence after the sound, then cut the result to the sound's length.
    const std::size_t inFrameBytes = std::size_t(SDL_AUDIO_BITSIZE(spec.format) / 8) * spec.channels;
    const long long inFrames = rawLen / inFrameBytes;
    const auto outFrames = std::size_t(inFrames * outputRate / spec.freq);
    const std::vector<Uint8> padding(inFrameBytes * 4096, SDL_AUDIO_ISSIGNED(spec.format) ? 0 : 0x80);
    if (!stream || inFrames == 0 || SDL_AudioStreamPut(stream.get(), pcm.get(), int(rawLen)) != 0
        || SDL_AudioStreamPut(stream.get(), padding.data(), int(padding.size())) != 0
        || SDL_AudioStreamFlush(stream.get()) != 0)
        return nullptr;

    const long long maxBytes = 1LL * kMaxSeconds * outputRate * SampleBuffer::kChannels * sizeof(float);
    auto buffer = std::make_shared<SampleBuffer>();
    std::vector<char> converted;
    for (int available; (available = SDL_AudioStreamAvailable(stream.get())) > 0;) {
        if ((long long)converted.size() + available > maxBytes)
            return nullptr;
        const std::size_t at = converted.size();
        converted.resize(at + std::size_t(available));
        const int got = SDL_AudioStreamGet(stream.get(), converted.data() + at, available);
        if (got <= 0)
            return nullptr;
        converted.resize(at + std::size_t(got));
    }
    const std::size_t frameBytes = sizeof(float) * SampleBuffer::kChannels;
    const std::size_t frames = std::min(outFrames, converted.size() / frameBytes);
    if (frames == 0)
        return nullptr;
    buffer->samples.resize(frames * SampleBuffer::kChannels);
    std::memcpy(buffer->samples.data(), converted.data(), buffer->samples.size() * sizeof(float));
    for (float &s : buffer->samples) {
        if (!std::isfinite(s))
            s = 0.0f;
        s = std::clamp(s, -1.0f, 1.0f);
    }
    softenEnd(buffer->samples, outputRate);
    return buffer;
}
