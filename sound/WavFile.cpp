#include "sound/WavFile.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdint>

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

} // namespace

std::string WavFile::encode16(const std::vector<float> &samples, int channels, int rate)
{
    const auto dataBytes = std::uint32_t(samples.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, std::uint16_t(channels));
    put32(out, std::uint32_t(rate));
    put32(out, std::uint32_t(rate * channels * 2));
    put16(out, std::uint16_t(channels * 2));
    put16(out, 16);
    out += "data";
    put32(out, dataBytes);
    for (const float s : samples) {
        const float v = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
        put16(out, std::uint16_t(std::int16_t(std::lround(v * 32767.0f))));
    }
    return out;
}

CarefulWriter::Result WavFile::save16(const QString &path, const std::vector<float> &samples, int channels, int rate,
                                      CarefulWriter::Links links)
{
    return CarefulWriter::write(QFile::encodeName(path).toStdString(), encode16(samples, channels, rate), links);
}
