#pragma once

#include "sound/SoundSink.h"

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

// A sound sink that keeps every request instead of playing it.
class RecordingSink : public SoundSink
{
public:
    void playSample(std::string_view name, std::int64_t stampNs) override
    {
        names.push_back(QString::fromUtf8(name.data(), qsizetype(name.size())));
        stamps.push_back(stampNs);
    }

    void playWav(std::string wav) override
    {
        names.push_back(QStringLiteral("(wav)"));
        stamps.push_back(nowNs());
        wavs.push_back(std::move(wav));
    }

    // The sound clock: the test's own once `clockNs` is set, else the
    // monotonic clock.
    std::int64_t nowNs() const override { return clockNs ? *clockNs : SoundSink::nowNs(); }

    void clear()
    {
        names.clear();
        stamps.clear();
        wavs.clear();
        clockNs.reset();
    }

    QStringList names;                // the sample names requested, in order
    std::vector<std::int64_t> stamps; // the time each request stands for
    std::vector<std::string> wavs;    // the WAV files played as they are
    std::optional<std::int64_t> clockNs;
};
