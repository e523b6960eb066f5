#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A drum kit as its file describes it, before any sample is read: its
// instruments, each with its layers (a velocity range, a gain, a pitch, a
// sample file), the round-robin takes that share a range, its choke group,
// its pan and its volume. Read from a Hydrogen drumkit or an SFZ file
// (HydrogenKitReader, SfzKitReader); the built-in kit is one too (builtIn()).
// Plain values.
struct Kit
{
    struct Layer
    {
        int minVelocity = 1; // 1 to 127, both included
        int maxVelocity = 127;
        float gain = 1.0f;  // linear
        float pitch = 0.0f; // semitones
        std::string file;   // absolute, or a name the sample folders know (the built-in kit)
        int roundRobin = 0; // 0: always; else its place (1, 2...) in its range's takes, played in turn
        // An SFZ region's own velocity curve: points (velocity, gain 0..1); empty: the kit's.
        std::vector<std::pair<int, float>> velocityCurve;
    };
    struct Instrument
    {
        std::string name;
        int note = -1; // the MIDI note the kit gives it; -1: none
        std::vector<Layer> layers;
        int group = 0;             // 0: none; a hit cuts what sounds of instruments its group chokes
        std::vector<int> chokedBy; // the groups whose hits cut this one (a Hydrogen mute group: its own)
        float pan = 0.0f;          // -1 left .. 1 right
        float volume = 1.0f;       // linear
        // Whether every layer whose range holds a velocity sounds (SFZ's
        // regions), or the first alone (a Hydrogen instrument's layers).
        bool stacked = false;
    };

    std::string name;
    std::string author;
    std::string license;
    std::string source; // the file it was read from; empty: built in
    std::vector<Instrument> instruments;
    // What was left out, a line each, for the log and the chooser.
    std::vector<std::string> skipped;
    int unknownOpcodes = 0; // SFZ

    // The built-in kit: the seven drum keys' sounds, one layer each, centred.
    static Kit builtIn();
    // A sample's file name as a kit's file gives it (backslashes as
    // slashes), within the kit's `folder` (ending in '/'); empty where it
    // would leave it (absolute, or through "..").
    static std::string inFolder(const std::string &folder, std::string name);
};
