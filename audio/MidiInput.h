#pragma once

#include "audio/MidiHub.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

// The program's MIDI input, for playing from a MIDI pad:
// - in a PipeWire graph where the output is PipeWire's node (which has the
//   "MIDI in" port and plays a hit in the cycle it comes), the sources are
//   linked to that port, and its notes come through the hub;
// - in a PipeWire graph otherwise, a node of its own, "Tamvolo", with one
//   port, "MIDI in" (8-bit raw MIDI), which a user recognises in a patchbay. Each event
//   keeps its time: the graph's time of its cycle and its offset in it. The
//   node is in the output's group at its latency (node.group, node.latency):
//   a pad's bridge, a driver of its own, then runs on the output's driver;
// - where no PipeWire answers, the ALSA sequencer, if the system has one: a
//   client "Tamvolo" with one writable port; an event's time is when it came.
//   While it is used, PipeWire is looked for again every kRetryMs, and taken
//   back as soon as it answers;
// - where neither is there, one line in the log, and nothing else.
// What it links itself to (Links): by default what a drummer plugs in, the
// hardware sources (PipeWire's physical MIDI ports, the sequencer's hardware
// ports), those plugged in later included; other programs' MIDI outputs
// (a sequencer, a DAW) only with Links::All, or when the user links them.
// Both decode the same raw bytes (MidiDecoder). The hits wait in a lock-free
// ring for one reader thread (waitForHit()); the MIDI thread never blocks,
// allocates or logs. A source found, linked or unlinked, is said in the log
// (tamvolo.midi).
//
// Opening, and opening again when the server comes back, happen on a thread
// of its own: nothing waits on a sound server.
class MidiInput
{
public:
    using Hit = MidiHub::Hit;

    enum class Links {
        None,     // the user links sources by hand (a patchbay)
        Hardware, // the hardware sources: pads, keyboards, drum kits
        All,      // every MIDI source, other programs' outputs too
    };
    // How often a lost PipeWire, or one not yet there, is looked for.
    static constexpr int kRetryMs = 1000;

    // The notes go through `hub`, the engine's (AudioEngine::midiHub()),
    // where the output's node hears the pad itself.
    explicit MidiInput(std::shared_ptr<MidiHub> hub, Links links = Links::Hardware);
    ~MidiInput();

    MidiInput(const MidiInput &) = delete;
    MidiInput &operator=(const MidiInput &) = delete;

    // One reader thread: the next hit, waiting at most `limit` for one.
    bool waitForHit(Hit &hit, std::chrono::milliseconds limit);
    // Any thread: wakes a reader waiting (it finds nothing).
    void wake();

    // Any thread: hits lost because the reader fell behind.
    std::uint64_t dropped() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
