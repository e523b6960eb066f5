#pragma once

#include "sound/SoundSink.h"

#include <QStringList>

#include <algorithm>
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

    void playStep(std::string_view name, std::int64_t stampNs) override
    {
        playSample(name, stampNs);
        steps.push_back(std::size_t(names.size() - 1));
    }

    // What is withdrawn is taken out of what was played: it is never heard.
    void withdrawSteps(std::int64_t fromNs) override
    {
        QStringList keptNames;
        std::vector<std::int64_t> keptStamps;
        std::vector<std::size_t> keptSteps;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const bool step = std::find(steps.begin(), steps.end(), std::size_t(i)) != steps.end();
            if (step && stamps[std::size_t(i)] >= fromNs)
                continue;
            if (step)
                keptSteps.push_back(std::size_t(keptNames.size()));
            keptNames << names[i];
            keptStamps.push_back(stamps[std::size_t(i)]);
        }
        names = keptNames;
        stamps = keptStamps;
        steps = keptSteps;
    }

    void stopVoice() override
    {
        names.push_back(QStringLiteral("(stop)"));
        stamps.push_back(nowNs());
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
        steps.clear();
        clockNs.reset();
    }

    QStringList names;                // the sample names requested, in order
    std::vector<std::int64_t> stamps; // the time each request stands for
    std::vector<std::string> wavs;    // the WAV files played as they are
    std::vector<std::size_t> steps;   // which of them are loop steps
    std::optional<std::int64_t> clockNs;
};
