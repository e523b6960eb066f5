#pragma once

#include "ApplicationFolder.h"
#include "SoundBank.h"
#include "SoundSink.h"

#include <QStringList>

#include <string>
#include <vector>

// A sound sink that keeps every request instead of playing it.
class RecordingSink : public SoundSink
{
public:
    void playSound(const std::string &samplePath, std::int64_t stampNs) override
    {
        paths.push_back(samplePath);
        stamps.push_back(stampNs);
    }

    // Makes this sink, emptied, the one every PlaySample goes to.
    void install()
    {
        paths.clear();
        stamps.clear();
        SoundBank::setSink(this);
    }

    static void uninstall() { SoundBank::setSink(nullptr); }

    // The sample names requested, as they follow "<application folder>/voc/".
    QStringList names() const
    {
        const QString folder = QString::fromStdString(applicationFolder()) + QStringLiteral("/voc/");
        QStringList result;
        for (const std::string &path : paths)
            result << QString::fromStdString(path).remove(0, folder.size());
        return result;
    }

    std::vector<std::string> paths;
    std::vector<std::int64_t> stamps; // the time each request stands for
};
