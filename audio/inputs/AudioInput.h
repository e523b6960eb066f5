#pragma once

#include "audio/core/SampleRate.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// The default sound input (a microphone, or whatever the sound server
// offers as its default source), through SDL's capture device: mono float
// frames at kRate, at most kMaxSeconds of them.
//
// The frames go into a buffer made before recording starts, so the capture
// thread never allocates, frees, locks or logs: it copies, publishes how far
// it got, and keeps the loudest sample for the level meter.
//
// Opening never holds the owner up for long: a sound server that does not
// answer within kOpenMs is given up on (start() says so), and whatever it
// opens later is closed again by the helper thread that waited on it.
//
// One thread owns an AudioInput (the UI); the capture thread only runs the
// callback.
class AudioInput
{
public:
    static constexpr int kRate = kSampleRate;
    static constexpr int kMaxSeconds = 10;
    static constexpr int kCloseMs = 400;
    static constexpr int kOpenMs = 700;

    enum class Start {
        Recording,
        NoDevice, // no input device, no audio driver
        NoAnswer, // the sound server did not answer in kOpenMs
    };

    AudioInput() = default;
    ~AudioInput();

    AudioInput(const AudioInput &) = delete;
    AudioInput &operator=(const AudioInput &) = delete;

    // Opens the default input and starts recording; otherwise nothing else
    // happens, and it says why.
    Start start();
    // Stops and closes the input; returns what was recorded.
    std::vector<float> stop();

    bool isRecording() const { return m_device != 0; }
    // True when the input went away while recording (the sound server died):
    // nothing more comes, though the device is still open.
    bool isLost() const;
    // True once kMaxSeconds are recorded: nothing more is kept.
    bool isFull() const;
    double seconds() const;
    // The loudest sample (absolute value) since the last call.
    float takePeak();

private:
    // What the capture thread writes: one per recording, so that a capture
    // thread left behind at close keeps its own (kept alive for it).
    struct Take
    {
        std::vector<float> frames;
        std::atomic<std::size_t> written{0};
        std::atomic<float> peak{0.0f};
    };

    static void callback(void *take, unsigned char *stream, int len);

    std::uint32_t m_device = 0;
    bool m_subsystem = false;
    std::shared_ptr<Take> m_take;
};
