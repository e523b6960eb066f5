#pragma once

#include "audio/inputs/MidiInput.h"
#include "files/CarefulWriter.h"
#include "keys/DrumMap.h"
#include "sound/SampleService.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AudioEngine;

// Plays what comes from a MIDI pad. Each note from the MIDI input plays, by
// the drum map (DrumMap: the General MIDI percussion map, and the notes a
// user taught over it), the sample of its key's pad row (the last, as the
// window's voice ends on it) on a voice of its own (layered with the others),
// at its velocity's loudness (Velocity::loudness()); the closed hi-hat and the pedal
// choke the open one. The samples come from `samples`, the sample bank's
// (SoundBank::samples(): one cache for keys and hits; without one, a service
// of its own on the default folders), loaded before their first hit. What each note plays is published whole
// to the engine (a NoteTable through its MidiHub), again when a note is
// taught or a sample changes (looked at every second): where PipeWire's node
// hears the pad, it plays each hit from that table in the cycle it comes, and
// the player only shows it; elsewhere the player plays it, a fixed delay after
// the time it was played.
//
// Each note is said in the log (tamvolo.midi) with what it played, or "no
// sound mapped", and told to `heard` (the window: its pad lights, its learn
// mode), on the player's thread.
//
// The notes taught are kept in the map file ($XDG_CONFIG_HOME/tamvolo/
// midi-map, by default ~/.config/tamvolo/midi-map), read at start (a line
// that cannot be read is skipped and said in the log) and written by the
// careful writer when a note is taught.
//
// The player's thread waits on the input; closing never waits for ever.
class MidiPlayer
{
public:
    struct Heard
    {
        std::uint8_t note = 0;
        std::uint8_t channel = 0; // 1 to 16, as players count them
        std::uint8_t velocity = 0;
        std::uint8_t key = 0;      // 0: no sound mapped
        std::int64_t playedNs = 0; // when it was played (the graph's time: the monotonic clock)
    };
    using Listener = std::function<void(const Heard &)>;
    // How a write of the map file went, told after each.
    struct MapWritten
    {
        std::string file;
        CarefulWriter::Result result = CarefulWriter::Result::Written;
        bool unreadable = false; // the file there could not be read, so it was left as it was
    };
    using MapListener = std::function<void(const MapWritten &)>;

    static std::string defaultMapFile();

    MidiPlayer(std::shared_ptr<AudioEngine> engine, std::unique_ptr<MidiInput> input, Listener heard,
               std::shared_ptr<SampleService> samples = nullptr, std::string mapFile = defaultMapFile());
    ~MidiPlayer();

    MidiPlayer(const MidiPlayer &) = delete;
    MidiPlayer &operator=(const MidiPlayer &) = delete;

    // Any thread: from now on `note` plays the sound of `key` (an upper-case
    // Windows-1252 code with a pad row; 0: the General MIDI map's again);
    // the map file is written, and how it went told to `written`
    // (setMapListener()) on the player's thread. Never blocks.
    void learn(std::uint8_t note, std::uint8_t key);
    // Any thread: every note plays the General MIDI map's sound again, as
    // learn() does. Never blocks.
    void forgetAll();
    // Before the first learn(): who hears how each write of the map went.
    void setMapListener(MapListener written);
    // Any thread, never blocks: the map as it is now (the General MIDI map
    // alone until the file has been read).
    DrumMap map() const;
    // Any thread, never blocks: where the input hears pads from.
    MidiInput::Heard inputHeard() const;
    // Any thread: hits the input lost because this player fell behind.
    std::uint64_t lostHits() const;
    // Any thread: the key whose sound `note` plays now (0: none), once the
    // map file has been read (waits for that, at most a second).
    std::uint8_t keyFor(std::uint8_t note) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
