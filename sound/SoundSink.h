#pragma once

#include "MonotonicClock.h"

#include <cstdint>
#include <string>

// Where play requests go: the platform's "play this sound file, now, in the
// background" call. One voice per process: a request cuts the sound in
// progress; a path that names no sample plays the alert sound. Implementations
// return at once and report nothing.
//
// Every request carries the time it stands for, on the sink's own clock
// (nowNs()): a key's is the moment it was pressed, a loop step's the moment
// the step is due, so that every sound starts the same fixed latency after
// its time, and a step asked for a little early or a little late still lands
// on its beat.
class SoundSink
{
public:
    virtual ~SoundSink() = default;
    virtual void playSound(const std::string &samplePath, std::int64_t stampNs) = 0;
    // The sink's clock, in nanoseconds; any thread.
    virtual std::int64_t nowNs() const { return monotonicNs(); }
};
