#include "WavLoader.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
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

std::uint32_t le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 | std::uint32_t(u[3]) << 24;
}

// Every chunk the header announces must lie within the file, the data chunk
// included. SDL allocates what the data chunk announces before it reads, so
// a header claiming gigabytes would cost gigabytes: such a file is refused
// here, before SDL sees it.
bool chunksFitTheFile(const char *data, std::size_t size)
{
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return false;
    bool format = false;
    for (std::size_t at = 12; at + 8 <= size;) {
        const std::uint64_t length = le32(data + at + 4);
        if (length > size - at - 8)
            return false;
        if (std::memcmp(data + at, "fmt ", 4) == 0)
            format = length >= 16;
        if (std::memcmp(data + at, "data", 4) == 0)
            return format;
        at += 8 + std::size_t(length) + (length & 1);
    }
    return false;
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
    if (!readWhole(path, bytes))
        return nullptr;
    return decode(bytes.data(), bytes.size(), outputRate);
}

std::shared_ptr<const SampleBuffer> WavLoader::decode(const char *data, std::size_t size, int outputRate)
{
    if (outputRate <= 0 || size == 0 || size > std::size_t(kMaxFileBytes) || !chunksFitTheFile(data, size))
        return nullptr;

    // A data chunk shorter than its header says is an error, not a shorter sound.
    SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "strict");
    SDL_SetHint(SDL_HINT_WAVE_RIFF_CHUNK_SIZE, "maximum");

    SDL_AudioSpec wav{};
    Uint8 *raw = nullptr;
    Uint32 rawLen = 0;
    SDL_RWops *rw = SDL_RWFromConstMem(data, int(size));
    if (!rw || !SDL_LoadWAV_RW(rw, 1, &wav, &raw, &rawLen))
        return nullptr;
    const std::unique_ptr<Uint8, WavFree> pcm(raw);
    if (wav.freq < kMinRate || wav.freq > kMaxRate || wav.channels < 1 || wav.channels > 2 || rawLen == 0)
        return nullptr;

    const std::unique_ptr<SDL_AudioStream, StreamFree> stream(SDL_NewAudioStream(
        wav.format, wav.channels, wav.freq, AUDIO_F32SYS, SampleBuffer::kChannels, outputRate));
    // The resampler holds back the tail of its input even when flushed: feed
    // it silence after the sound, then cut the result to the sound's length.
    const std::size_t inFrameBytes = std::size_t(SDL_AUDIO_BITSIZE(wav.format) / 8) * wav.channels;
    const long long inFrames = rawLen / inFrameBytes;
    const auto outFrames = std::size_t(inFrames * outputRate / wav.freq);
    // Judge the length before converting: a small file at a very low rate
    // would otherwise become gigabytes of output.
    if (outFrames > std::size_t(kMaxSeconds) * std::size_t(outputRate))
        return nullptr;
    const std::vector<Uint8> padding(inFrameBytes * 4096, SDL_AUDIO_ISSIGNED(wav.format) ? 0 : 0x80);
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
