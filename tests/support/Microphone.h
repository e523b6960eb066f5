#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

// What SDL's disk driver hears as the microphone: a file of `before` s of
// silence, `sound` `repeats` times and 2 s of silence, as 48 kHz mono
// float, at `path`. False if it could not be written. The tests and the
// documentation's pictures (microphone_file) write it here alone.
inline bool writeMicrophone(const QString &path, const std::vector<float> &sound, double before = 0.3, int repeats = 1)
{
    std::vector<float> input(std::size_t(before * 48000), 0.0f);
    for (int i = 0; i < repeats; ++i)
        input.insert(input.end(), sound.begin(), sound.end());
    input.resize(input.size() + 96000, 0.0f);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 bytes = qint64(input.size() * sizeof(float));
    return f.write(reinterpret_cast<const char *>(input.data()), bytes) == bytes;
}

// The same, and SDL's disk driver told to read it (its output goes beside
// it).
inline bool microphoneHears(const QString &path, const std::vector<float> &sound, double before = 0.3)
{
    if (!writeMicrophone(path, sound, before))
        return false;
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILEIN", path.toLocal8Bit());
    qputenv("SDL_DISKAUDIOFILE", (path + QStringLiteral(".out")).toLocal8Bit());
    return true;
}
