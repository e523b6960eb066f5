#pragma once

#include "audio/core/SampleBuffer.h"

#include <chrono>
#include <cstdint>
#include <memory>

class MidiHub;

// The real-time engine: the sound output, the voice that plays into it, and
// the engine thread that looks after both.
//
// play() hands a decoded sound to the voice, to start a fixed lead after the
// stream time it stands for, so that every sound starts the same time after
// its key press or its beat. The lead is the output's current block and its
// margin (latencyNs()): it follows the graph's quantum as it changes. A loop's
// steps keep the lead their loop started with, so that a change of quantum
// never moves the loop's grid. play() never blocks: the voice takes requests
// through a lock-free ring. One thread at a time may call it (the sample
// bank's loader).
//
// Times are the voice's stream time (nowNs()), which follows the output's
// frames; before the first block it is the monotonic clock.
//
// The engine thread runs from the start, and opens the output itself
// (OutputChoice): the window never waits for a sound server. Where none can
// play, it tries again every kReopenMs (SDL, costly to try, every
// kSdlRetryMs), so that sound comes when a server does, started before or
// after the program. It wakes every kServiceMs: it frees what the audio
// thread is done with (never on the audio thread), says in the log what the
// output reports, and watches it: an output that went away, or whose stream
// has not been serviced for kUnservicedMs (kFirstBlockMs before its first
// block: a frozen server, a stream that lost its links), is closed and opened again when a server answers.
// Meanwhile play() drops its sounds; what was queued and whose moment passed
// is dropped by the voice, not played late.
//
// Closing cuts no sound short: what sounds fades out, and the output is
// closed once kCloseQuietMs of silence have followed, enough for what a
// server holds queued to play out (at most kCloseFadeLimitMs after the
// close began). Closing never waits for ever on a sound server that stopped
// answering: what does not end within kCloseMs is left behind (and kept
// alive) for the process's exit to end.
struct Playback;

class AudioEngine
{
public:
    static constexpr int kServiceMs = 50;
    static constexpr int kReopenMs = 500;
    static constexpr int kSdlRetryMs = 10'000;
    static constexpr int kUnservicedMs = 1000;
    // The same for a stream's first block: a sink that slept wakes slowly.
    static constexpr int kFirstBlockMs = 3000;
    static constexpr int kCloseMs = 400;
    static constexpr int kCloseQuietMs = 60;
    static constexpr int kCloseFadeLimitMs = 250;
    // How often PipeWire is looked for while another output plays, chosen
    // where PipeWire could not play yet (a login still starting, a server
    // restarted): its own stream is taken as soon as its graph can play.
    static constexpr int kPipeWireLookMs = 1000;
    // A MIDI hit comes to the voice straight from the graph's cycle, without
    // the window system and the UI thread a key goes through.
    static constexpr std::int64_t kHitMarginNs = 1'000'000;
    // Steps further apart than this belong to different loops.
    static constexpr std::int64_t kNewLoopNs = 1'000'000'000;

    // Never blocks: the engine thread opens the output.
    AudioEngine();
    // The owning thread; waits at most kCloseFadeLimitMs for the sound to
    // fade and kCloseMs for each of the thread and the output, then leaves
    // them behind.
    ~AudioEngine();

    AudioEngine(const AudioEngine &) = delete;
    AudioEngine &operator=(const AudioEngine &) = delete;

    // One thread at a time; never blocks (a lock-free ring). Plays `sound` from stream time stampNs + the lead
    // on; a sound whose time has passed starts at once.
    // With `step`, the sound is a loop step's, which withdrawSteps() drops.
    void play(std::shared_ptr<const SampleBuffer> sound, std::int64_t stampNs, bool step = false);
    // The same thread as play(); never blocks. Every step played before this call whose
    // stamp is fromNs or later, and which is not sounding yet, is dropped.
    void withdrawSteps(std::int64_t fromNs);

    // One thread at a time (the MIDI player's); never blocks: a MIDI hit, on a voice of its
    // own, from stream time stampNs + hitLatencyNs() on: `hit`'s sample at its
    // gain and pan, in its choke groups, cutting those it chokes.
    void playHit(const Playback &hit, std::int64_t stampNs);

    // Any thread; none of what follows blocks but waitForOutput().
    std::int64_t nowNs() const;
    // The stream time at monotonic time `monotonicNs` (a MIDI event's):
    // exact to the frame where the event comes from the graph the output
    // plays in (the graph's times are monotonic times).
    std::int64_t streamNsAt(std::int64_t monotonicNs) const;
    // From a hit's stamp, the graph time of its MIDI event, to the frame its
    // sound starts on: one block and kHitMarginNs.
    std::int64_t hitLatencyNs() const;
    // Any thread: where the pad's notes meet the output (PipeWire's node
    // plays them in the cycle they come) and the MIDI player.
    std::shared_ptr<MidiHub> midiHub() const;
    bool hasOutput() const;
    // Blocks at most `limit` (a signalled wait) for an output to play through.
    bool waitForOutput(std::chrono::milliseconds limit) const; // never the UI thread
    int rate() const;
    // From a key's stamp to the frame its sound starts on, now.
    std::int64_t latencyNs() const;
    // How long before its stamp a sound must reach the engine to start on
    // its frame: the block the output renders ahead, and the lead.
    std::int64_t askAheadNs() const;
    // Requests whose onset had already passed when they reached the voice.
    std::uint64_t lateOnsets() const;
    // Output blocks asked for more than a block late (see VoicePlayer).
    std::uint64_t lateBlocks() const;
    // Times the output went unserviced for over 100 ms (see VoicePlayer).
    std::uint64_t stalls() const;
    // How often the device was opened again after it went away.
    std::uint64_t reopens() const;

private:
    // Everything the engine thread touches, so that a thread stuck in the
    // sound server at close can be left with all of it.
    struct State;

    std::unique_ptr<State> m_state;
    // The thread that calls play().
    std::int64_t m_stepLeadNs = 0;
    std::int64_t m_lastStepNs = 0;
    bool m_stepsBefore = false;
};
