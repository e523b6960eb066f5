#pragma once

#include "audio/MidiDecoder.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

// The program's MIDI input, for playing from a MIDI pad:
// - in a PipeWire graph, a node of its own, "Tamvolo", with one port, "MIDI
//   in" (8-bit raw MIDI), which a user recognises in a patchbay. Each event
//   keeps its time: the graph's time of its cycle and its offset in it. By
//   default the input links itself to every MIDI source of the graph (on a
//   desktop the Midi-Bridge's capture ports, and any other MIDI output),
//   those that appear later included;
// - where no PipeWire answers, the ALSA sequencer, if the system has one: a
//   client "Tamvolo" with one writable port, subscribed to the hardware
//   sources (and to those plugged in later); an event's time is when it came;
// - where neither is there, one line in the log, and nothing else.
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
    struct Hit
    {
        MidiDecoder::Note note;
        std::int64_t monotonicNs = 0; // when it was played, on the monotonic clock
    };

    // With `linkSources`, links itself to every MIDI source the graph offers.
    explicit MidiInput(bool linkSources = true);
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
