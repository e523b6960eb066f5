#pragma once

#include "AudioOutput.h"
#include "SoundSink.h"

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
// playSound() runs on the caller's thread (the UI): it stamps the request
// with the monotonic time and queues it for the loader thread, nothing more.
// The loader thread finds the file inside the sample folder, reads and
// converts it (once; see SampleCache), falls back to the alert tone, and
// hands the sound to the voice with the onset time stamp + latency(), so that
// every request sounds exactly the same time after it was made.
//
// Request queue (UI thread writes, loader reads): a deque under a mutex held
// only to push or to swap the whole queue out; it has no bound, but the
// loader empties it at every wake-up and skips requests that a later one has
// overtaken once their onset has passed.
//
// Without a device, or once the device has failed, requests are dropped
// without loading anything.
class AudioEngine : public SoundSink
{
public:
    AudioEngine();
    ~AudioEngine() override;

    AudioEngine(const AudioEngine &) = delete;
    AudioEngine &operator=(const AudioEngine &) = delete;

    void playSound(const std::string &samplePath) override;

    bool hasOutput() const;
    int rate() const { return m_output.rate(); }
    int blockFrames() const { return m_output.blockFrames(); }
    // From the request's stamp to the frame its sound starts on.
    std::int64_t latencyNs() const { return m_latencyNs; }
    // Requests whose onset had already passed when they reached the voice.
    std::uint64_t lateOnsets() const;
    // Output blocks asked for more than a block late (see VoicePlayer).
    std::uint64_t lateBlocks() const;

    // The fixed latency for a device with blocks of `blockFrames` at `rate`:
    // two blocks (one being played, one being filled) and 5 ms for the
    // loader and for scheduling jitter.
    static std::int64_t latencyFor(int rate, int blockFrames);

private:
    struct Request
    {
        std::string path;
        std::int64_t stampNs;
    };

    void loaderLoop();

    AudioOutput m_output;
    std::unique_ptr<VoicePlayer> m_player;
    std::int64_t m_latencyNs = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_queue;
    bool m_stop = false;
    std::thread m_loader;
};
