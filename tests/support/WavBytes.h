#pragma once

#include "files/WavEncoder.h"

#include <QByteArray>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <vector>

// Builds WAV files in any PCM or float layout, for tests (the header as the
// program writes it, WavEncoder).
namespace WavBytes {

inline void put16(QByteArray &b, quint16 v)
{
    char d[2];
    qToLittleEndian(v, d);
    b.append(d, 2);
}

inline void put32(QByteArray &b, quint32 v)
{
    char d[4];
    qToLittleEndian(v, d);
    b.append(d, 4);
}

// `values` are per-frame, per-channel levels in [-1, 1].
inline QByteArray make(const std::vector<double> &values, int channels, int rate, int bits, bool isFloat)
{
    QByteArray data;
    for (double v : values) {
        if (isFloat) {
            const float f = float(v);
            quint32 raw;
            std::memcpy(&raw, &f, 4);
            put32(data, raw);
        } else if (bits == 8) {
            data.append(char(quint8(std::lround(v * 127.0) + 128)));
        } else if (bits == 16) {
            put16(data, quint16(qint16(std::lround(v * 32767.0))));
        } else if (bits == 24) {
            const qint32 s = qint32(std::lround(v * 8388607.0));
            data.append(char(s & 0xFF)).append(char((s >> 8) & 0xFF)).append(char((s >> 16) & 0xFF));
        } else {
            put32(data, quint32(qint32(std::lround(v * 2147483647.0))));
        }
    }
    const std::string head = WavEncoder::header(channels, rate, bits, isFloat, quint32(data.size()));
    return QByteArray(head.data(), qsizetype(head.size())) + data;
}

// A 16-bit mono file of `frames` frames at one constant level.
inline QByteArray constant(int frames, double level, int rate = 48000)
{
    return make(std::vector<double>(std::size_t(frames), level), 1, rate, 16, false);
}

// The header of a mono ADPCM file (format 2, MS, or 0x11, IMA) and
// `dataBytes` bytes of silent blocks.
inline QByteArray adpcm(quint16 format, int rate, int blockAlign, int samplesPerBlock, int dataBytes)
{
    QByteArray b("RIFF");
    put32(b, quint32(4 + 8 + 20 + 8 + dataBytes));
    b.append("WAVEfmt ");
    put32(b, 20);
    put16(b, format);
    put16(b, 1);
    put32(b, quint32(rate));
    put32(b, quint32(rate * blockAlign / samplesPerBlock));
    put16(b, quint16(blockAlign));
    put16(b, 4);
    put16(b, 2); // extra bytes
    put16(b, quint16(samplesPerBlock));
    b.append("data");
    put32(b, quint32(dataBytes));
    b.append(QByteArray(dataBytes, '\0'));
    return b;
}

} // namespace WavBytes
