#include "sound/KitSampleDecoder.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include <sys/stat.h>

namespace {

struct SndfileClose
{
    void operator()(SNDFILE *f) const { sf_close(f); }
};

// The last 2 ms fade to silence.
void fadeEnd(std::vector<float> &samples, int channels, int rate)
{
    const std::size_t frames = samples.size() / std::size_t(channels);
    const std::size_t fade = std::min(frames, std::size_t(rate / 500));
    for (std::size_t i = 0; i < fade; ++i) {
        const float gain = float(i) / float(fade);
        for (int c = 0; c < channels; ++c)
            samples[(frames - 1 - i) * std::size_t(channels) + std::size_t(c)] *= gain;
    }
}

} // namespace

std::shared_ptr<const SampleBuffer> KitSampleDecoder::load(const std::string &path, int outputRate, std::string &why)
{
    struct stat st
    {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "manca";
        return nullptr;
    }
    if (st.st_size > kMaxFileBytes) {
        why = "più grande di " + std::to_string(kMaxFileBytes / (1024 * 1024)) + " MB";
        return nullptr;
    }
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndfileClose> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        why = std::string("non è un file audio che si legga (") + sf_strerror(nullptr) + ")";
        return nullptr;
    }
    if (info.channels < 1 || info.samplerate < kMinRate || info.samplerate > kMaxRate || info.frames <= 0) {
        why = "vuoto, o con frequenza o canali fuori dai limiti";
        return nullptr;
    }
    if (info.frames > sf_count_t(kMaxSeconds) * info.samplerate) {
        why = "più lungo di " + std::to_string(kMaxSeconds) + " s";
        return nullptr;
    }
    const int channels = std::min(info.channels, 2);
    std::vector<float> all(std::size_t(info.frames) * std::size_t(info.channels));
    const sf_count_t read = sf_readf_float(file.get(), all.data(), info.frames);
    if (read <= 0) {
        why = "non se ne decodifica nulla";
        return nullptr;
    }
    std::vector<float> in(std::size_t(read) * std::size_t(channels));
    for (sf_count_t f = 0; f < read; ++f)
        for (int c = 0; c < channels; ++c)
            in[std::size_t(f) * std::size_t(channels) + std::size_t(c)] =
                all[std::size_t(f) * std::size_t(info.channels) + std::size_t(c)];
    all = {};

    auto buffer = std::make_shared<SampleBuffer>();
    buffer->channels = channels;
    if (info.samplerate == outputRate) {
        buffer->samples = std::move(in);
    } else {
        const double ratio = double(outputRate) / double(info.samplerate);
        buffer->samples.resize(std::size_t(std::ceil(double(read) * ratio) + 16) * std::size_t(channels));
        SRC_DATA data{};
        data.data_in = in.data();
        data.input_frames = long(read);
        data.data_out = buffer->samples.data();
        data.output_frames = long(buffer->samples.size() / std::size_t(channels));
        data.src_ratio = ratio;
        if (const int error = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, channels); error != 0) {
            why = std::string("non si converte alla frequenza dell'uscita (") + src_strerror(error) + ")";
            return nullptr;
        }
        buffer->samples.resize(std::size_t(data.output_frames_gen) * std::size_t(channels));
    }
    if (buffer->samples.empty()) {
        why = "non se ne decodifica nulla";
        return nullptr;
    }
    for (float &s : buffer->samples)
        s = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
    fadeEnd(buffer->samples, channels, outputRate);
    return buffer;
}
