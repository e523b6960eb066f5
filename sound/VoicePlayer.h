#pragma once

#include "FrameClock.h"
#include "SampleBuffer.h"
#include "SpscRing.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// One play request on its way to the output.
struct Playback
{
    std::shared_ptr<const SampleBuffer> sample;
    std::int64_t onsetNs = 0; // monotonic time at which the sound starts
};

// The single voice of the program: the part that runs on the audio thread.
//
// Hand-over, request side (one thread, the loader): submit() puts a Playback
// into a one-slot mailbox. If the audio thread has not taken the previous one
// yet, submit() hands it back and the newer request replaces it.
// Hand-over, audio side: render() takes the mailbox, places the sound's onset
// on the frame its onsetNs falls on, and cuts whatever plays at that frame:
// the old sound fades out over kFadeMs while the new one starts at full level.
// A request that has not started when a newer one arrives is dropped.
// Return path: every Playback the audio thread is done with goes into a
// lock-free ring that the request side empties with takeRetired(), so memory
// is only ever released off the audio thread. If that ring is full (its reader
// stalled for a long time), the audio thread keeps the Playback rather than
// free it: it is leaked, never freed late or on the wrong thread.
//
// render() never allocates, frees, locks, logs or touches files.
class VoicePlayer
{
public:
    static constexpr double kFadeMs = 3.0;
    static constexpr int kMaxFading = 4;
    static constexpr std::size_t kRetireCapacity = 256;

    VoicePlayer(int rate, int blockFrames);
    ~VoicePlayer();

    VoicePlayer(const VoicePlayer &) = delete;
    VoicePlayer &operator=(const VoicePlayer &) = delete;

    // Request side. Returns the request this one replaced, if the audio
    // thread had not taken it yet.
    std::unique_ptr<Playback> submit(std::unique_ptr<Playback> playback);

    // Request side: the requests the audio thread has finished with.
    std::vector<std::unique_ptr<Playback>> takeRetired();

    // Audio thread: fills `frames` stereo frames; `nowNs` is the monotonic
    // time read when the output asked for them.
    void render(float *out, int frames, std::int64_t nowNs);

    // Counters, readable from any thread.
    std::uint64_t lateOnsets() const { return m_late.load(std::memory_order_relaxed); }
    std::uint64_t blocksRendered() const { return m_blocks.load(std::memory_order_relaxed); }
    // Blocks asked for more than a block's duration later than the clock
    // predicted: the output may have run dry before them.
    std::uint64_t lateBlocks() const { return m_lateBlocks.load(std::memory_order_relaxed); }
    int rate() const { return m_rate; }
    int fadeFrames() const { return int(m_fade.size()); }

private:
    struct Voice
    {
        Playback *playback = nullptr;
        std::size_t position = 0;
        int fadeIndex = 0; // fading voices only: frames of fade done
    };

    void retire(Playback *&playback);
    void mix(float *out, int from, int to);
    void startScheduled();

    int m_rate;
    std::vector<float> m_fade; // gains of the fade-out, 1 → 0
    FrameClock m_clock;
    std::int64_t m_frame = 0; // first frame of the block being rendered

    std::atomic<Playback *> m_mailbox{nullptr};
    SpscRing<Playback *, kRetireCapacity> m_retired;

    // Audio thread only.
    Playback *m_scheduled = nullptr;
    std::int64_t m_scheduledFrame = 0;
    Voice m_current;
    std::array<Voice, kMaxFading> m_fading{};

    std::atomic<std::uint64_t> m_late{0};
    std::atomic<std::uint64_t> m_blocks{0};
    std::atomic<std::uint64_t> m_lateBlocks{0};
    std::int64_t m_blockNs = 0;
};
