#include "files/WavEncoder.h"

#include <algorithm>
#include <cmath>

namespace {

void put16(std::string &out, std::uint16_t v)
{
    out += char(v & 0xFF);
    out += char(v >> 8);
}

void put32(std::string &out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += char((v >> shift) & 0xFF);
}

template <typename Sample> std::string encode(const std::vector<Sample> &samples, int channels, int rate, bool dither)
{
    const auto dataBytes = std::uint32_t(samples.size() * 2);
    std::string out = WavEncoder::header(channels, rate, 16, false, dataBytes);
    out.reserve(out.size() + dataBytes);
    std::uint32_t seed = 0x2545F491u;
    auto uniform = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return double(seed) / 4294967296.0;
    };
    for (const Sample s : samples) {
        // Scaled in the samples' own precision: float samples round as float.
        const Sample v = std::isfinite(s) ? std::clamp(s, Sample(-1), Sample(1)) : Sample(0);
        const double noise = dither && v != 0 ? uniform() - uniform() : 0.0;
        const double step = std::clamp(std::round(double(v * Sample(32767)) + noise), -32768.0, 32767.0);
        put16(out, std::uint16_t(std::int16_t(step)));
    }
    return out;
}

} // namespace

std::string WavEncoder::header(int channels, int rate, int bits, bool isFloat, std::uint32_t dataBytes)
{
    std::string out = "RIFF";
    put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, isFloat ? 3 : 1);
    put16(out, std::uint16_t(channels));
    put32(out, std::uint32_t(rate));
    put32(out, std::uint32_t(rate * channels * bits / 8));
    put16(out, std::uint16_t(channels * bits / 8));
    put16(out, std::uint16_t(bits));
    out += "data";
    put32(out, dataBytes);
    return out;
}

std::string WavEncoder::encode16(const std::vector<double> &samples, int channels, int rate, bool dither)
{
    return encode(samples, channels, rate, dither);
}

std::string WavEncoder::encode16(const std::vector<float> &samples, int channels, int rate)
{
    return encode(samples, channels, rate, false);
}
