#pragma once

#include "audio/core/SampleBuffer.h"

#include <cstdint>
#include <memory>

// One play request on its way to the output.
struct Playback
{
    enum class Kind : std::uint8_t {
        Sound,    // a key's sound, or anything else that is never withdrawn
        Step,     // a loop step's sound: withdrawn by a later Withdraw
        Withdraw, // no sound: every Step asked for before it, starting at
                  // onsetNs or later and not yet sounding, is dropped
        Hit,      // a MIDI hit: on a voice of its own (HitVoices)
    };
    std::shared_ptr<const SampleBuffer> sample;
    std::int64_t onsetNs = 0; // stream time at which the sound starts
    Kind kind = Kind::Sound;
    // Hits alone: the loudness of their velocity, their pan's gains, the
    // choke groups they belong to, and those they cut (bits).
    float gain = 1.0f;
    float left = 1.0f;
    float right = 1.0f;
    std::uint8_t group = 0;
    std::uint8_t chokes = 0;
};
