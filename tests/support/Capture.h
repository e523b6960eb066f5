#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QThread>

#include <cmath>
#include <cstring>
#include <vector>

// The audio SDL's disk driver wrote: stereo float frames, left channel kept.
namespace Capture {

inline std::vector<float> readLeft(const QString &path)
{
    QFile f(path);
    std::vector<float> left;
    if (!f.open(QIODevice::ReadOnly))
        return left;
    const QByteArray bytes = f.readAll();
    const auto frames = std::size_t(bytes.size()) / (2 * sizeof(float));
    left.resize(frames);
    for (std::size_t i = 0; i < frames; ++i)
        std::memcpy(&left[i], bytes.constData() + i * 2 * sizeof(float), sizeof(float));
    return left;
}

// The first frame at or after `from` where `sound` (interleaved stereo)
// stands in `left` exactly, judged on frames [skip, skip + length) of the
// sound — skip the first frames when they may overlap a fading sound.
// `tolerance` allows for a sound server that does not pass samples bit for bit.
inline long long find(const std::vector<float> &left, const std::vector<float> &sound, std::size_t from,
                      std::size_t skip = 0, std::size_t length = 512, float tolerance = 0.0f)
{
    const std::size_t frames = sound.size() / 2;
    if (frames < skip + length)
        return -1;
    for (std::size_t p = from; p + skip + length <= left.size(); ++p) {
        bool match = true;
        for (std::size_t j = skip; j < skip + length && match; ++j)
            match = std::abs(left[p + j] - sound[2 * j]) <= tolerance;
        if (match)
            return (long long)p;
    }
    return -1;
}

// Every place where `sound` starts in `left`, as find() judges it.
inline std::vector<long long> findAll(const std::vector<float> &left, const std::vector<float> &sound,
                                      std::size_t skip = 0, std::size_t length = 512, float tolerance = 0.0f)
{
    std::vector<long long> places;
    long long at = 0;
    while ((at = find(left, sound, std::size_t(at), skip, length, tolerance)) >= 0)
        places.push_back(at++);
    return places;
}

// Waits, for at most `limitMs`, until what a running program's disk driver
// writes to `path` holds `sound` (judged on its first 2048 frames); returns
// the frame where it starts, or -1.
inline long long waitToFind(const QString &path, const std::vector<float> &sound, int limitMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const long long at = find(readLeft(path), sound, 0, 0, 2048);
        if (at >= 0 || waited.elapsed() >= limitMs)
            return at;
        QThread::msleep(200);
    }
}

} // namespace Capture
