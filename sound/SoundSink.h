#pragma once

#include "audio/core/MonotonicClock.h"

#include <cstdint>
#include <string>
#include <string_view>

// Where the window's PlaySample requests go: the sample bank in the program,
// a recorder in tests. One voice per process: a request cuts the sound in
// progress; a name that finds no sample plays the alert sound.
// Implementations return at once and report nothing.
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
    // The UI thread. `name` is a sample name as the window has it: a pad's
    // file name ("Laser.wav") or a pattern character ("V").
    virtual void playSample(std::string_view name, std::int64_t stampNs) = 0;
    // The UI thread. A loop step's sound: as playSample(), but withdrawn by a
    // later withdrawSteps() until it sounds.
    virtual void playStep(std::string_view name, std::int64_t stampNs) { playSample(name, stampNs); }
    // The UI thread. Every step asked for before this call whose time is
    // fromNs or later, and which is not sounding yet, is dropped (keys' sounds
    // never are).
    virtual void withdrawSteps(std::int64_t fromNs) { (void)fromNs; }
    // The UI thread. Plays the WAV file held in `wav` (the recorder's take,
    // as it will be saved) through the same voice, from now on.
    virtual void playWav(std::string wav) = 0;
    // The UI thread. The voice stops what it plays, from now on, fading it
    // out as any sound that cuts it does.
    virtual void stopVoice() = 0;
    // The sink's clock, in nanoseconds; any thread.
    virtual std::int64_t nowNs() const { return monotonicNs(); }
    // How long before its moment a sound must be asked for to start on it
    // (0: any time will do); any thread.
    virtual std::int64_t aheadNs() const { return 0; }
};
