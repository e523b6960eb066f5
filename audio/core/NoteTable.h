#pragma once

#include "audio/core/SampleBuffer.h"

#include <array>
#include <cstdint>
#include <memory>

// What each MIDI note plays, for the audio thread to read without a lock:
// the key it stands for (0: no sound mapped), its layers (the samples,
// loaded before, each with its velocity range, its gain and its place among
// round-robin takes), its pan, the choke groups of its hit, and the loudness
// of each velocity. Built whole by the MIDI player and never changed once
// handed to MidiHub::publish().
struct NoteTable
{
    static constexpr int kMaxLayers = 32;
    // At most this many layers sound for one hit.
    static constexpr int kMaxStacked = 4;

    struct Layer
    {
        std::shared_ptr<const SampleBuffer> sample;
        std::uint8_t minVelocity = 1; // both included; min > max: never
        std::uint8_t maxVelocity = 127;
        std::uint8_t take = 0; // 0: always; else its place among its range's round-robin takes
        float gain = 1.0f;     // the layer's and its instrument's, linear
        // Its own loudness by velocity (an SFZ region's curve), or null: the table's.
        std::shared_ptr<const std::array<float, 128>> curve;
    };

    struct Entry
    {
        std::array<Layer, kMaxLayers> layers{};
        int layerCount = 0;
        bool stacked = false; // every layer whose range holds the velocity sounds; else the first
        float left = 1.0f;    // the pan's gains
        float right = 1.0f;
        std::uint8_t key = 0;
        std::uint8_t group = 0;  // the choke groups the hit belongs to (bits)
        std::uint8_t chokes = 0; // those it cuts

        bool sounds() const { return layerCount > 0; }
        // The layers a hit at `velocity` plays, the `turn`-th of its
        // round-robin takes (counted by the caller), into `picked`; how many.
        // A velocity no range holds plays the nearest range. Never allocates.
        int pick(int velocity, unsigned turn, std::array<int, kMaxStacked> &picked) const;
        // One layer of one sound: the sample and the key, centred.
        void setSound(std::shared_ptr<const SampleBuffer> sample);
    };
    std::array<Entry, 128> notes{};
    std::array<float, 128> gains{}; // by velocity
    std::uint64_t generation = 0;   // MidiHub's

    // The loudness of `velocity` through `layer`.
    float gainOf(const Layer &layer, int velocity) const
    {
        const std::size_t v = std::size_t(velocity & 0x7f);
        return layer.gain * (layer.curve ? (*layer.curve)[v] : gains[v]);
    }
};
