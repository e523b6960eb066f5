#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

// What SDL's disk driver hears as the microphone: a file of `before` s of
// silence, `sound` and 2 s of silence, as 48 kHz mono float, at `path`; the
// driver's output goes beside it. False if the file could not be written.
inline bool microphoneHears(const QString &path, const std::vector<float> &sound, double before = 0.3)
{
    std::vector<float> input(std::size_t(before * 48000), 0.0f);
    input.insert(input.end(), sound.begin(), sound.end());
    input.resize(input.size() + 96000, 0.0f);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 bytes = qint64(input.size() * sizeof(float));
    if (f.write(reinterpret_cast<const char *>(input.data()), bytes) != bytes)
        return false;
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILEIN", path.toLocal8Bit());
    qputenv("SDL_DISKAUDIOFILE", (path + QStringLiteral(".out")).toLocal8Bit());
    return true;
}
