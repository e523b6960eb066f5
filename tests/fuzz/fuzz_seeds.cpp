// Writes the fuzzers' seed corpus: WAV files in every layout the loader
// takes, and pattern files, into <folder>/wavloader and <folder>/patternfile.
#include "support/WavBytes.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>

namespace {

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder + "/wavloader");
    QDir().mkpath(folder + "/patternfile");
    QDir().mkpath(folder + "/sampleindex");

    std::vector<double> tone;
    for (int i = 0; i < 64; ++i)
        tone.push_back(0.5 * std::sin(i * 0.3));
    struct Layout
    {
        int bits;
        bool isFloat;
        int channels;
        int rate;
    };
    const Layout layouts[] = {{8, false, 1, 8000},   {16, false, 1, 48000}, {16, false, 2, 44100},
                              {24, false, 1, 96000}, {32, false, 2, 22050}, {32, true, 1, 48000},
                              {32, true, 2, 32000}};
    int n = 0;
    for (const Layout &l : layouts)
        if (!put(QString("%1/wavloader/seed%2.wav").arg(folder).arg(++n),
                 WavBytes::make(tone, l.channels, l.rate, l.bits, l.isFloat)))
            return 1;

    // Compact formats, whose decoded length only the header tells.
    if (!put(folder + "/wavloader/ima-adpcm.wav", WavBytes::adpcm(0x0011, 8000, 256, 505, 4 * 256)) ||
        !put(folder + "/wavloader/ms-adpcm.wav", WavBytes::adpcm(0x0002, 22050, 512, 1012, 3 * 512 + 40)))
        return 1;

    const char *names[] = {"v.wav",     "V", "\xc3\x88", "LASER", "dup", "../outside", "link",
                           "sub.wav/x", ".", "..",       "a.b",   " ",   "\\",         "noext"};
    n = 0;
    for (const char *name : names)
        if (!put(QString("%1/sampleindex/seed%2").arg(folder).arg(++n), QByteArray(name)))
            return 1;

    const char *patterns[] = {"V B VVF\r\n", "AB\r\n", "\r\n", "",
                              "ABCDEFGHIJ",  "A\rB",   "A\nB", "\xc8\xd2-\xa3\x80\x81"};
    n = 0;
    for (const char *p : patterns)
        if (!put(QString("%1/patternfile/seed%2.txt").arg(folder).arg(++n), QByteArray(p)))
            return 1;
    return 0;
}
