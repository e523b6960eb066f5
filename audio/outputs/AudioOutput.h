#pragma once

#include "audio/core/RealtimePriority.h"
#include "audio/core/SampleRate.h"
#include "audio/core/VoicePlayer.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class VoicePlayer;

// Where the voice's frames go: stereo float frames at kRate, rendered by
// VoicePlayer::render() on the output's own audio thread, a block at a time.
// OutputChoice opens one; the engine keeps it running.
//
// What every output shares is here: handing the player to the audio thread
// and taking it back, a block rendered by the player or silent, the count of
// callbacks that tells a stream still serviced from one that stopped, the
// audio thread's real-time priority, and a close that never waits for ever.
// Each backend keeps what is its own: opening, its callbacks, what it says.
//
// One thread at a time owns an output (the engine's); the audio thread only
// calls renderBlock() and followHole().
class AudioOutput
{
public:
    static constexpr int kRate = kSampleRate;
    static constexpr int kChannels = 2;
    static constexpr std::size_t kFrameBytes = kChannels * sizeof(float);
    // How long opening may wait for a sound server.
    static constexpr int kOpenMs = 1000;

    AudioOutput() = default;
    virtual ~AudioOutput() = default;
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Engine thread; blocks at most a few kOpenMs. Opens the default device,
    // silent until start(). False, and whyNot() says why, when there is none
    // (or no server answers, or it has nowhere to play).
    virtual bool open() = 0;
    const std::string &whyNot() const { return m_whyNot; } // engine thread

    // Engine thread; never blocks. From now on the audio thread renders
    // `player`, a stream that starts now (VoicePlayer::streamStarted).
    // `player` must outlive this object or the next close().
    void start(VoicePlayer &player);

    // Engine thread; blocks at most twice `limit`. Lets the player go (no
    // render of it runs after this returns true), then closes the device. A
    // sound server that stopped answering can hold the close up for ever, and
    // a starved audio thread a render: after `limit` each is left behind and
    // false returned; the object and the player must then be kept alive
    // (keepForever).
    bool close(std::chrono::milliseconds limit);

    // Engine thread; never blocks. True while the device is open and has not
    // failed (its server went away, or said the stream is over).
    virtual bool isRunning() const { return isOpen() && !m_failed.load(std::memory_order_relaxed); }

    // Any thread: callbacks of the audio thread so far. A stream whose count
    // stands still is no longer serviced (a frozen server, a stream without
    // links).
    std::uint64_t callbacks() const { return m_callbacks.load(std::memory_order_relaxed); }

    int rate() const { return kRate; } // any thread
    // Any thread. Sounds start the block they are asked in and this margin after their
    // stamp: room for the window system, the UI thread, the loader, and the
    // bursts in which the output asks for blocks (a stream of our own asks
    // steadily; SDL hands them on in bursts).
    virtual std::int64_t marginNs() const { return 3'000'000; }
    // Any thread. Whether the output keeps the voice's frames on the server's timeline
    // across a hole itself (StreamClock).
    virtual bool followsHoles() const { return true; }
    // Any thread: what was opened, for the log, and the backend's name.
    virtual std::string describe() const = 0;
    virtual const char *name() const = 0;

    // The engine thread, every few tens of milliseconds: what changed since
    // the last call (the audio thread's priority, holes, the graph's quantum,
    // the cushion...), one line each; nothing when nothing did. Reporting
    // only: what the output does about it, it did on its own thread.
    std::vector<std::string> report();

protected:
    // The owning thread, may block (a server that stopped answering): ends
    // the audio thread and frees what open() made; on a helper thread when
    // called by close(), which may leave it behind.
    virtual void closeNow() = 0;
    virtual bool isOpen() const = 0; // the owning thread
    // Engine thread, never blocks: what report() says of the backend's own doings.
    virtual void reportOwn(std::vector<std::string> &lines) { (void)lines; }

    // Audio thread, once per callback: asks for real-time priority the
    // first time, and counts the callback.
    void callbackStarted();
    // Audio thread: fills `frames` frames, by the player or with silence;
    // `graphNs`, where there is one, the graph's time of the cycle. `hits`
    // start in this block (VoicePlayer::render); false when no player took
    // them (they are still the caller's).
    bool renderBlock(float *out, int frames, std::int64_t nowNs, std::int64_t graphNs = -1,
                     std::span<const VoicePlayer::BlockHit> hits = {});
    // Audio thread, before renderBlock(): the server played a hole of
    // `frames` where ours were due, or dropped -`frames` of those given last
    // (VoicePlayer::skip).
    void followHole(std::int64_t frames);
    // Audio thread: whether the player is sounding now.
    bool playerSounding();
    // Any thread: the stream failed (its server said so).
    void fail() { m_failed.store(true, std::memory_order_relaxed); }
    // The engine thread, opening: the stream has not failed.
    void clearFailed() { m_failed.store(false, std::memory_order_relaxed); }
    // The engine thread, opening: false, and why.
    bool cannotOpen(std::string why);

private:
    std::atomic<VoicePlayer *> m_player{nullptr};
    std::atomic<bool> m_rendering{false};
    std::atomic<bool> m_failed{false};
    std::atomic<std::uint64_t> m_callbacks{0};
    RealtimePriority m_realtime;
    std::string m_whyNot;
};
