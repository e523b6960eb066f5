#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// A client beside the program, as a reference for what the sound server and
// the machine allow any client in the same run: pacat playing a steady 1 kHz
// tone on the right channel alone, asking the server for `latencyMs`. Its
// holes are counted in a capture's right minus left (the program's sounds
// are the same on both channels).
class ReferenceTone
{
public:
    static constexpr double kLevel = 0.2;

    // `folder` holds the tone's file; `seconds` of it; `environment` reaches
    // the server (the process's own when empty).
    ReferenceTone(const QString &folder, int seconds, int latencyMs = 10,
                  const QProcessEnvironment &environment = QProcessEnvironment())
    {
        const QString path = folder + QStringLiteral("/reference.raw");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        std::vector<std::int16_t> block(2 * 4800);
        for (long long frame = 0; frame < (long long)(seconds + 2) * 48000;) {
            for (std::size_t i = 0; i < block.size() / 2; ++i, ++frame)
                block[2 * i + 1] = std::int16_t(
                    std::lround(kLevel * 32767 * std::sin(2 * 3.14159265358979 * 1000.0 * double(frame) / 48000.0)));
            file.write(reinterpret_cast<const char *>(block.data()), qint64(block.size() * sizeof(std::int16_t)));
        }
        file.close();
        if (!environment.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(environment);
            m_pacat.setProcessEnvironment(env);
        }
        m_pacat.start(QStringLiteral("pacat"),
                      {"--playback", "--raw", "--format=s16le", "--rate=48000", "--channels=2",
                       QStringLiteral("--latency-msec=%1").arg(latencyMs), "--client-name=reference", path});
        m_pacat.waitForStarted(5000);
    }

    ~ReferenceTone()
    {
        m_pacat.kill();
        m_pacat.waitForFinished(5000);
    }

    ReferenceTone(const ReferenceTone &) = delete;
    ReferenceTone &operator=(const ReferenceTone &) = delete;

    // The holes in the tone within `side` (right minus left), between its
    // first and last millisecond heard: runs of milliseconds whose peak is
    // under half the tone's level. The seconds into `side` where each starts.
    static std::vector<double> holes(const std::vector<float> &side)
    {
        constexpr std::size_t kMs = 48;
        std::vector<bool> heard;
        for (std::size_t at = 0; at + kMs <= side.size(); at += kMs) {
            float peak = 0;
            for (std::size_t i = at; i < at + kMs; ++i)
                peak = std::max(peak, std::abs(side[i]));
            heard.push_back(peak > float(kLevel / 2));
        }
        const auto first = std::find(heard.begin(), heard.end(), true);
        const auto last = std::find(heard.rbegin(), heard.rend(), true).base();
        std::vector<double> starts;
        for (auto it = first; it < last; ++it)
            if (!*it && (it == first || *(it - 1)))
                starts.push_back(double(it - heard.begin()) / 1000.0);
        return starts;
    }

private:
    QProcess m_pacat;
};
