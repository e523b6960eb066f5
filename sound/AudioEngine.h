#pragma once

#include "AudioOutput.h"
#include "SoundSink.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class VoicePlayer;

// The program's player: turns sample paths into sound on the device.
//
// playSound() runs on the caller's thread (the UI): it queues the request,
// with the time it stands for, for the loader thread, nothing more. The
// loader thread finds the file inside the sample folder, reads and converts
// it (once; see SampleCache), falls back to the alert tone, and hands the
// sound to the voice with the onset stamp + latency(), so that every sound
// starts exactly the same time after the time it stands for.
//
// Times are the voice's stream time (nowNs()), which follows the device's
// clock; without a device it is the monotonic clock.
//
// Request queue (UI thread writes, loader reads): a deque under a mutex held
// only to push or to swap the whole queue out; it has no bound, but the
// loader empties it at every wake-up and skips requests that a later one has
// overtaken once their onset has passed.
//
// The device going away: the loader thread notices that the device stopped
// and opens it again every kReopenMs until it is back; meanwhile requests are
// dropped. Without a device at start, requests are dropped without loading
// anything, for good.
//
// Closing never waits for ever on a sound server that stopped answering:
// what does not end within kCloseMs is left behind (and kept alive) for the
// process's exit to end.
class AudioEngine : public SoundSink
{
public:
    static constexpr int kReopenMs = 500;
    static constexpr int kCloseMs = 400;

    AudioEngine();
    ~AudioEngine() override;

    AudioEngine(const AudioEngine &) = delete;
    AudioEngine &operator=(const AudioEngine &) = delete;

    void playSound(const std::string &samplePath, std::int64_t stampNs) override;
    std::int64_t nowNs() const override;

    bool hasOutput() const { return m_running.load(std::memory_order_relaxed); }
    int rate() const { return m_rate; }
    int blockFrames() const { return m_blockFrames; }
    // From the request's stamp to the frame its sound starts on.
    std::int64_t latencyNs() const { return m_latencyNs; }
    // Requests whose onset had already passed when they reached the voice.
    std::uint64_t lateOnsets() const;
    // Output blocks asked for more than a block late (see VoicePlayer).
    std::uint64_t lateBlocks() const;
    // How often the device was opened again after it went away.
    std::uint64_t reopens() const { return m_reopens.load(std::memory_order_relaxed); }

    // The fixed latency for a device with blocks of `blockFrames` at `rate`,
    // from a request's stamp to the frame its sound starts on: one block (the
    // one being filled when the request arrives) and 5 ms for the window
    // system, the UI thread, the loader and the bursts in which a sound
    // server asks for blocks. The server's own buffer comes on top.
    static std::int64_t latencyFor(int rate, int blockFrames);

private:
    struct Request
    {
        std::string path;
        std::int64_t stampNs;
    };

    void loaderLoop();
    void watchOutput();

    std::unique_ptr<AudioOutput> m_output; // the loader thread's once it runs
    std::unique_ptr<VoicePlayer> m_player;
    int m_rate = 0;
    int m_blockFrames = 0;
    std::int64_t m_latencyNs = 0;
    std::atomic<bool> m_running{false};
    std::atomic<std::uint64_t> m_reopens{0};

    // Loader thread only.
    std::int64_t m_nextReopenNs = 0;
    std::uint64_t m_lateBlocksSaid = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_queue;
    bool m_stop = false;
    bool m_loaderDone = false;
    std::thread m_loader;
};
