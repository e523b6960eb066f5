#include "WavWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>

namespace {

void put16(std::ofstream &out, std::uint16_t v)
{
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    out.write(b, 2);
}

void put32(std::ofstream &out, std::uint32_t v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    out.write(b, 4);
}

} // namespace

bool WavWriter::write(const std::string &path, const std::vector<double> &samples, int rate)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    const auto dataBytes = std::uint32_t(samples.size() * 2);
    out.write("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, 1); // mono
    put32(out, std::uint32_t(rate));
    put32(out, std::uint32_t(rate * 2));
    put16(out, 2);
    put16(out, 16);
    out.write("data", 4);
    put32(out, dataBytes);

    std::uint32_t seed = 0x2545F491u;
    auto uniform = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return double(seed) / 4294967296.0;
    };
    for (std::size_t i = 0; i < samples.size(); ++i) {
        // Triangular dither, except where the signal is silent.
        const double dither = samples[i] == 0.0 ? 0.0 : uniform() - uniform();
        const double v = std::clamp(std::round(samples[i] * 32767.0 + dither), -32768.0, 32767.0);
        put16(out, std::uint16_t(std::int16_t(v)));
    }
    return bool(out);
}
