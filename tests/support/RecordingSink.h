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

    // The sound clock: the test's own once `clockNs` is set, else the
    // monotonic clock.
    std::int64_t nowNs() const override { return clockNs ? *clockNs : SoundSink::nowNs(); }

    void clear()
    {
        names.clear();
        stamps.clear();
        clockNs.reset();
    }

    QStringList names;                // the sample names requested, in order
    std::vector<std::int64_t> stamps; // the time each request stands for
    std::optional<std::int64_t> clockNs;
};
