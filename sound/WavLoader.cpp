#include "sound/WavLoader.h"

#include "files/CarefulReader.h"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

struct WavFree
{
    void operator()(Uint8 *p) const { SDL_FreeWAV(p); }
};

struct StreamFree
{
    void operator()(SDL_AudioStream *s) const { SDL_FreeAudioStream(s); }
};

std::uint32_t le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 | std::uint32_t(u[3]) << 24;
}

std::uint16_t le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint16_t(u[0] | u[1] << 8);
}

// A sound that stops short of silence would click when it ends: bring its
// last millisecond down to zero.
void softenEnd(std::vector<float> &samples, int channels, int rate)
{
    const std::size_t frames = samples.size() / std::size_t(channels);
    const std::size_t ramp = std::min<std::size_t>(frames, std::size_t(rate / 1000));
    for (std::size_t i = 0; i < ramp; ++i) {
        const float gain = float(i) / float(ramp);
        const std::size_t frame = frames - 1 - i;
        for (int c = 0; c < channels; ++c)
            samples[frame * std::size_t(channels) + std::size_t(c)] *= gain;
    }
}

} // namespace

// Every chunk the header announces must lie within the file, the data chunk
// included. SDL allocates what the data chunk announces before it reads, so
// a header claiming gigabytes would cost gigabytes: such a file is refused
// here, before SDL sees it. So is a sound longer than the limits once
// decoded: compact formats (ADPCM) grow four times or more.
std::optional<WavLoader::Header> WavLoader::readHeader(const char *data, std::size_t size)
{
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::optional<Header> header;
    for (std::size_t at = 12; at + 8 <= size;) {
        const std::uint64_t length = le32(data + at + 4);
        if (length > size - at - 8)
            return std::nullopt;
        const char *body = data + at + 8;
        if (std::memcmp(data + at, "fmt ", 4) == 0 && length >= 16) {
            header = Header{};
            header->format = le16(body);
            header->channels = le16(body + 2);
            header->rate = int(le32(body + 4));
            header->blockAlign = le16(body + 12);
            if (header->format == 0xFFFE && length >= 26)
                header->format = le16(body + 24); // WAVE_FORMAT_EXTENSIBLE: the sub-format's tag
            if ((header->format == 0x0002 || header->format == 0x0011) && length >= 20)
                header->samplesPerBlock = le16(body + 18);
        }
        if (std::memcmp(data + at, "data", 4) == 0) {
            if (!header || header->blockAlign == 0)
                return std::nullopt;
            const auto blocks = (long long)((length + header->blockAlign - 1) / header->blockAlign);
            header->frames = header->samplesPerBlock > 0 ? blocks * header->samplesPerBlock
                                                         : (long long)(length / header->blockAlign);
            return header;
        }
        at += 8 + std::size_t(length) + (length & 1);
    }
    return std::nullopt;
}

std::shared_ptr<const SampleBuffer> WavLoader::load(const std::string &path, int outputRate)
{
    // Opened without following a link and without waiting (a named pipe
    // swapped in after the name was looked up must not hold the loader up),
    // and judged by what was opened, not by the name.
    std::string bytes;
    if (CarefulReader::read(path, bytes, std::size_t(kMaxFileBytes), CarefulReader::Links::Refuse) !=
        CarefulReader::Result::Read)
        return nullptr;
    return decode(bytes.data(), bytes.size(), outputRate);
}

std::shared_ptr<const SampleBuffer> WavLoader::decode(const char *data, std::size_t size, int outputRate)
{
    if (outputRate <= 0 || size == 0 || size > std::size_t(kMaxFileBytes))
        return nullptr;
    const auto header = readHeader(data, size);
    if (!header || header->rate < kMinRate || header->rate > kMaxRate ||
        header->frames > (long long)kMaxSeconds * header->rate)
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

    // Mono stays mono: the voice plays one channel on both sides.
    const int channels = wav.channels;
    const std::unique_ptr<SDL_AudioStream, StreamFree> stream(
        SDL_NewAudioStream(wav.format, wav.channels, wav.freq, AUDIO_F32SYS, Uint8(channels), outputRate));
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
    if (!stream || inFrames == 0 || SDL_AudioStreamPut(stream.get(), pcm.get(), int(rawLen)) != 0 ||
        SDL_AudioStreamPut(stream.get(), padding.data(), int(padding.size())) != 0 ||
        SDL_AudioStreamFlush(stream.get()) != 0)
        return nullptr;

    // The sound itself, the padding's share of the output and some slack:
    // the padding does not count against the sound's length.
    const std::size_t frameBytes = sizeof(float) * std::size_t(channels);
    const auto paddingFrames = std::size_t(4096LL * outputRate / wav.freq);
    const auto maxBytes = (long long)((outFrames + paddingFrames + 1024) * frameBytes);
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
    const std::size_t frames = std::min(outFrames, converted.size() / frameBytes);
    if (frames == 0)
        return nullptr;
    buffer->channels = channels;
    buffer->samples.resize(frames * std::size_t(channels));
    std::memcpy(buffer->samples.data(), converted.data(), buffer->samples.size() * sizeof(float));
    for (float &s : buffer->samples) {
        if (!std::isfinite(s))
            s = 0.0f;
        s = std::clamp(s, -1.0f, 1.0f);
    }
    softenEnd(buffer->samples, channels, outputRate);
    return buffer;
}
