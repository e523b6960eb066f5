#pragma once

#include "audio/core/MidiHub.h"
#include "audio/inputs/MidiSource.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

// The program's MIDI input, for playing from a MIDI pad: PipeWire's graph
// where it answers (PipeWireMidiSource: the output's node's port, or a node
// of its own), else the ALSA sequencer, if the system has one
// (SequencerMidiSource), while PipeWire is looked for again every kRetryMs
// and taken back as soon as it answers; where neither is there, one line in
// the log, and nothing else. What it links itself to: Links (MidiLinks).
// The notes wait in the hub for one reader thread (waitForHit()).
//
// Opening, and opening again when the server comes back, happen on a thread
// of its own: nothing waits on a sound server.
class MidiInput
{
public:
    using Hit = MidiHub::Hit;

    using Links = MidiLinks;
    // How often a lost PipeWire, or one not yet there, is looked for.
    static constexpr int kRetryMs = 1000;

    // Any thread, never blocks (the opening is the worker's). The notes go
    // through `hub`, the engine's (AudioEngine::midiHub()), where the
    // output's node hears the pad itself.
    explicit MidiInput(std::shared_ptr<MidiHub> hub, Links links = Links::Hardware);
    // The owning thread; waits at most kOpenMs for the worker, then leaves
    // it behind with all it uses.
    ~MidiInput();

    MidiInput(const MidiInput &) = delete;
    MidiInput &operator=(const MidiInput &) = delete;

    // One reader thread, blocks at most `limit` (a signalled wait): the next
    // hit.
    bool waitForHit(Hit &hit, std::chrono::milliseconds limit);
    // Any thread, never blocks: wakes a reader waiting (it finds nothing).
    void wake();

    // Any thread, never blocks: hits lost because the reader fell behind.
    std::uint64_t dropped() const;

    // Where the pads are heard from now.
    enum class Heard {
        Looking,   // opening, at start or after a server went away
        PipeWire,  // PipeWire's graph
        Sequencer, // the ALSA sequencer
        Nowhere,   // no PipeWire answers and there is no ALSA sequencer
    };
    // Any thread, never blocks.
    Heard heard() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
