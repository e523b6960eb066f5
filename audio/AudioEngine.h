#pragma once

#include "audio/AudioOutput.h"
#include "audio/SampleBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>

// The real-time engine: the sound device, the voice that plays into it, and
// the engine thread that looks after both.
//
// play() hands a decoded sound to the voice, to start exactly latencyNs()
// after the stream time it stands for, so that every sound starts the same
// fixed time after its key press or its beat. It never blocks: the voice
// takes requests through a lock-free ring. One thread at a time may call it
// (the sample bank's loader).
//
// Times are the voice's stream time (nowNs()), which follows the device's
// clock; without a device it is the monotonic clock.
//
// The engine thread wakes every kServiceMs: it frees what the audio thread is
// done with (never on the audio thread) and watches the device. When the
// device goes away it opens it again every kReopenMs until it is back;
// meanwhile play() drops its sounds. Without a device at start there is no
// voice and no engine thread, and play() drops everything, for good.
//
// Opening at start waits at most kOpenMs for the sound server; one that does
// not answer by then counts as no device.
//
// Closing never waits for ever on a sound server that stopped answering:
// what does not end within kCloseMs is left behind (and kept alive) for the
// process's exit to end.
class AudioEngine
{
public:
    static constexpr int kServiceMs = 50;
    static constexpr int kReopenMs = 500;
    static constexpr int kCloseMs = 400;
    static constexpr int kOpenMs = 1000;

    AudioEngine();
    ~AudioEngine();

    AudioEngine(const AudioEngine &) = delete;
    AudioEngine &operator=(const AudioEngine &) = delete;

    // One thread at a time. Plays `sound` from stream time stampNs +
    // latencyNs() on; a sound whose time has passed starts at once.
    // With `step`, the sound is a loop step's, which withdrawSteps() drops.
    void play(std::shared_ptr<const SampleBuffer> sound, std::int64_t stampNs, bool step = false);
    // The same thread as play(). Every step played before this call whose
    // stamp is fromNs or later, and which is not sounding yet, is dropped.
    void withdrawSteps(std::int64_t fromNs);

    // Any thread.
    std::int64_t nowNs() const;
    bool hasOutput() const;
    int rate() const { return m_rate; }
    int blockFrames() const { return m_blockFrames; }
    // From a request's stamp to the frame its sound starts on.
    std::int64_t latencyNs() const { return m_latencyNs; }
    // Requests whose onset had already passed when they reached the voice.
    std::uint64_t lateOnsets() const;
    // Output blocks asked for more than a block late (see VoicePlayer).
    std::uint64_t lateBlocks() const;
    // Stalls of the output that stream time caught up over (see VoicePlayer).
    std::uint64_t stalls() const;
    // How often the device was opened again after it went away.
    std::uint64_t reopens() const;

    // The fixed latency for a device with blocks of `blockFrames` at `rate`,
    // from a request's stamp to the frame its sound starts on: one block (the
    // one being filled when the request arrives) and the output's margin
    // (AudioOutput::marginNs). The server's own buffer comes on top.
    static std::int64_t latencyFor(int rate, int blockFrames, std::int64_t marginNs);

private:
    // Everything the engine thread touches, so that a thread stuck in the
    // sound server at close can be left with all of it.
    struct State;

    std::unique_ptr<State> m_state;
    int m_rate = 0;
    int m_blockFrames = 0;
    std::int64_t m_latencyNs = 0;
};
