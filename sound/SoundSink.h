#pragma once

#include <string>

// Where play requests go: the platform's "play this sound file, now, in the
// background" call. One voice per process: a request cuts the sound in
// progress; a path that names no sample plays the alert sound. Implementations
// return at once and report nothing.
class SoundSink
{
public:
    virtual ~SoundSink() = default;
    virtual void playSound(const std::string &samplePath) = 0;
};
