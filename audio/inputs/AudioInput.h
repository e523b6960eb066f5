#pragma once

#include "audio/core/SampleRate.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// The default sound input (a microphone, or whatever the sound server
// offers as its default source), through SDL's capture device: mono float
// frames at kRate, at most kMaxSeconds of them a take. Open, it is heard for
// the level meter; frames are kept only during a take, so that a level can
// be checked before recording, and the input stays open between takes.
//
// The frames go into a buffer made when the input opens, so the capture
// thread never allocates, frees, locks or logs: it copies, publishes how far
// it got, and keeps the loudest sample for the level meter. A take is
// numbered: the capture thread starts at the buffer's beginning when it sees
// a new one, and the owner reads only what it published for the take.
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
    // An open input that brings nothing for this long has stopped answering.
    static constexpr int kStallMs = 2000;

    enum class Start {
        Opened,
        NoDevice, // no input device, no audio driver
        NoAnswer, // the sound server did not answer in kOpenMs
    };

    AudioInput() = default;
    ~AudioInput();

    AudioInput(const AudioInput &) = delete;
    AudioInput &operator=(const AudioInput &) = delete;

    // Opens the default input, where it is not open, for the level meter:
    // nothing is kept yet. Otherwise nothing happens, and it says why. Blocks
    // at most kOpenMs.
    Start open();
    // Opens it where needed and starts a take: frames are kept from the
    // capture's next block on.
    Start record();
    // Ends the take; the input stays open. Returns what was recorded.
    std::vector<float> endTake();
    // Closes the input; returns what the take, if one was going on, recorded.
    // Blocks at most kCloseMs.
    std::vector<float> stop();

    bool isOpen() const { return m_device != 0; }
    bool isRecording() const;
    // True when the input went away (the sound server died): nothing more
    // comes, though the device is still open.
    bool isLost() const;
    // True when nothing has come for kStallMs (a sound server frozen).
    bool isStalled();
    // True once kMaxSeconds are recorded: nothing more is kept.
    bool isFull() const;
    // What the take has recorded so far.
    double seconds() const;
    // The loudest sample (absolute value) since the last call.
    float takePeak();

private:
    // What the capture thread writes: one per opening, so that a capture
    // thread left behind at close keeps its own (kept alive for it).
    struct Take
    {
        std::vector<float> frames;
        // The owner's: odd while a take is going on, one more at each start
        // and end of a take.
        std::atomic<unsigned> wanted{0};
        // The capture thread's: the take its frames are of, and how many.
        std::atomic<unsigned> heard{0};
        std::atomic<std::size_t> written{0};
        std::atomic<float> peak{0.0f};
        std::atomic<std::uint64_t> blocks{0};
    };

    // The frames published for the take going on, else 0.
    std::size_t recorded() const;

    static void callback(void *take, unsigned char *stream, int len);

    std::uint32_t m_device = 0;
    bool m_subsystem = false;
    std::shared_ptr<Take> m_take;
    // The blocks counted when they last moved on, and when.
    std::uint64_t m_blocksSeen = 0;
    std::chrono::steady_clock::time_point m_blocksMoved;
};
