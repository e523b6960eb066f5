#pragma once

#include "audio/core/SampleBuffer.h"

#include <array>
#include <cstdint>
#include <memory>

// What each MIDI note plays, for the audio thread to read without a lock:
// the sample (loaded before), the key it stands for (0: no sound mapped), the
// choke groups of its hit, and the loudness of each velocity. Built whole by
// the MIDI player and never changed once handed to MidiHub::publish().
struct NoteTable
{
    struct Entry
    {
        std::shared_ptr<const SampleBuffer> sample;
        std::uint8_t key = 0;
        std::uint8_t group = 0;  // the choke groups the hit belongs to (bits)
        std::uint8_t chokes = 0; // those it cuts
    };
    std::array<Entry, 128> notes{};
    std::array<float, 128> gains{}; // by velocity
    std::uint64_t generation = 0;   // MidiHub's
};
