#pragma once

#include "audio/core/MidiDecoder.h"
#include "audio/core/NoteTable.h"
#include "audio/core/SpscRing.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <vector>

struct Playback;

// Where a pad's notes meet the sound, between the threads that hear them and
// the one that shows them:
// - the MIDI input's own sources (its PipeWire node, or the ALSA sequencer)
//   hand in notes for the MIDI player to play (fromSource());
// - the output's node, where it has the "MIDI in" port itself, plays each
//   note in the cycle it comes, by the note table the MIDI player published,
//   on a spare Playback the engine thread keeps ready, and hands it in as
//   sounded (fromNode());
// - the MIDI player's thread takes both, in turn (next()), for the log, the
//   pad lights and learn mode, and plays those not sounded yet.
// The output's node says its id here, for the MIDI input to link sources to
// its port rather than open a node of its own.
//
// The audio thread's methods never allocate, free, lock or block.
class MidiHub
{
public:
    struct Hit
    {
        MidiDecoder::Note note;
        std::int64_t monotonicNs = 0; // when it was played, on the monotonic clock
        bool sounded = false;         // the output's node played it already
        std::uint8_t key = 0;         // what it sounded (0: no sound mapped)
    };
    static constexpr std::uint32_t kNoNode = 0xffffffffu;
    static constexpr int kSpares = 48;

    MidiHub() = default;
    ~MidiHub();

    MidiHub(const MidiHub &) = delete;
    MidiHub &operator=(const MidiHub &) = delete;

    // The MIDI input's one source thread at a time; never blocks.
    void fromSource(const Hit &hit);
    // The output's audio thread; never blocks.
    void fromNode(const Hit &hit);
    // One reader thread: the next hit, waiting at most `limit` for one.
    bool next(Hit &hit, std::chrono::milliseconds limit);
    // Any thread: wakes the reader (it finds nothing).
    void wake() { m_ready.release(); }
    // Any thread: hits lost because the reader fell behind.
    std::uint64_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }

    // One thread at a time (the MIDI player's), may free: the table from the
    // output's next cycle on; tables the audio thread let go are freed here.
    void publish(std::unique_ptr<NoteTable> table);
    // Audio thread, once a cycle: the table for this cycle (null before the
    // first is published), valid until the next call.
    const NoteTable *tableForCycle();

    // Engine thread, may allocate and free: keeps kSpares Playbacks ready,
    // and frees those handed back.
    void refill();
    // Audio thread: a Playback ready for a hit, or null.
    Playback *spare();
    // Audio thread: how many spare() gives at least.
    int spares() const { return m_sparesReady.load(std::memory_order_relaxed); }
    // Audio thread: one taken by spare() and not played after all.
    void giveBack(Playback *playback);

    // The output's node: its id while it has the "MIDI in" port, kNoNode
    // when it has none (any thread reads it).
    void setNode(std::uint32_t id) { m_node.store(id, std::memory_order_release); }
    std::uint32_t node() const { return m_node.load(std::memory_order_acquire); }

private:
    SpscRing<Hit, 512> m_fromSource;
    SpscRing<Hit, 512> m_fromNode;
    std::counting_semaphore<1 << 16> m_ready{0};
    std::atomic<std::uint64_t> m_dropped{0};

    std::atomic<NoteTable *> m_table{nullptr};
    std::atomic<std::uint64_t> m_tableSeen{0};        // the generation the audio thread holds
    std::vector<std::unique_ptr<NoteTable>> m_tables; // the publisher's: every table not freed yet
    std::uint64_t m_generation = 0;

    SpscRing<Playback *, 64> m_spares;
    SpscRing<Playback *, 64> m_givenBack;
    std::atomic<int> m_sparesReady{0}; // in m_spares

    std::atomic<std::uint32_t> m_node{kNoNode};
};
