#pragma once

#include "SoundSink.h"

#include <string>
#include <vector>

// A sound sink that keeps every request instead of playing it.
class RecordingSink : public SoundSink
{
public:
    void playSound(const std::string &samplePath) override { paths.push_back(samplePath); }

    std::vector<std::string> paths;
};
