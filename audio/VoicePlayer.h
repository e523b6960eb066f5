#pragma once

#include "audio/FrameClock.h"
#include "audio/SampleBuffer.h"
#include "audio/SpscRing.h"
#include "audio/StreamAnchor.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

// One play request on its way to the output.
struct Playback
{
    enum class Kind : std::uint8_t {
        Sound,    // a key's sound, or anything else that is never withdrawn
        Step,     // a loop step's sound: withdrawn by a later Withdraw
        Withdraw, // no sound: every Step asked for before it, starting at
                  // onsetNs or later and not yet sounding, is dropped
    };
    std::shared_ptr<const SampleBuffer> sample;
    std::int64_t onsetNs = 0; // stream time at which the sound starts
    Kind kind = Kind::Sound;
};

// The single voice of the program: the part that runs on the audio thread.
//
// Stream time: nanoseconds counted by the output's frames, starting from the
// monotonic time of the first block. Onsets are given in stream time and
// placed on their frame by plain arithmetic, so sounds asked for 200 ms
// apart start exactly 200 ms of frames apart, whatever the jitter of the
// audio thread and whatever the device's clock does. streamNs() tells any
// thread what stream time it is now, by the blocks asked for with the
// server's buffer full (StreamAnchor); when the output stalls for long (a
// device that went away, a suspended machine), stream time skips ahead with
// the monotonic clock instead of falling behind it. A delay-locked loop over
// the block times (FrameClock) judges which blocks came late.
//
// Hand-over, request side (one thread at a time): submit() queues a
// Playback in a lock-free ring. Audio side: render() takes what arrived and
// keeps it, ordered by onset, until its frame comes; there the new sound cuts
// whatever plays: the old sound fades out over kFadeMs while the new one
// starts at full level. A request for the same frame as one still waiting
// replaces it; one whose frame has passed starts at once (counted as late).
// Return path: every Playback the audio thread is done with goes into a
// lock-free ring that one other thread (one at a time) empties with
// takeRetired(), so memory is only ever released off the audio thread. A
// Withdraw request drops the loop's steps that wait from its onset on, in
// the order of the requests: steps asked for after it stay. If that ring is full (its reader
// stalled for a long time), the audio thread keeps the Playback rather than
// free it: it is leaked, never freed late or on the wrong thread.
//
// render() never allocates, frees, locks, logs or touches files.
class VoicePlayer
{
public:
    static constexpr double kFadeMs = 3.0;
    static constexpr int kMaxFading = 4;
    static constexpr int kMaxWaiting = 8;
    static constexpr std::size_t kQueueCapacity = 64;
    static constexpr std::size_t kRetireCapacity = 256;

    VoicePlayer(int rate, int blockFrames);
    ~VoicePlayer();

    VoicePlayer(const VoicePlayer &) = delete;
    VoicePlayer &operator=(const VoicePlayer &) = delete;

    // Request side. Hands the request back when the queue is full.
    std::unique_ptr<Playback> submit(std::unique_ptr<Playback> playback);

    // Retired side: the requests the audio thread has finished with.
    std::vector<std::unique_ptr<Playback>> takeRetired();

    // Audio thread: fills `frames` stereo frames; `nowNs` is the monotonic
    // time read when the output asked for them.
    void render(float *out, int frames, std::int64_t nowNs);

    // Audio thread, before a render(): the output lost `frames` frames (the
    // server played a hole where they would have gone). Stream time moves on
    // by as much, so that what waits keeps its place on the server's
    // timeline, and a sound that was playing goes on from where the listener
    // would now be in it.
    void skip(std::int64_t frames);

    // Any thread: the stream time at monotonic time `monotonicNs` (the
    // monotonic time itself before the first block).
    std::int64_t streamNs(std::int64_t monotonicNs) const;

    // Stream time to frames and back, exact for whole multiples of 1/rate.
    std::int64_t framesFor(std::int64_t ns) const;
    std::int64_t nsFor(std::int64_t frames) const;

    // Counters, readable from any thread.
    std::uint64_t lateOnsets() const { return m_late.load(std::memory_order_relaxed); }
    std::uint64_t blocksRendered() const { return m_blocks.load(std::memory_order_relaxed); }
    // Blocks asked for more than a block's duration later than the clock
    // predicted: the output may have run dry before them.
    std::uint64_t lateBlocks() const { return m_lateBlocks.load(std::memory_order_relaxed); }
    // Times the output stalled for longer than FrameClock::kResetNs and
    // stream time caught up with the monotonic clock.
    std::uint64_t stalls() const { return m_stalls.load(std::memory_order_relaxed); }
    // Frames the output said it lost (skip()).
    std::uint64_t framesSkipped() const { return m_skipped.load(std::memory_order_relaxed); }
    int rate() const { return m_rate; }
    int fadeFrames() const { return int(m_fade.size()); }

private:
    struct Voice
    {
        Playback *playback = nullptr;
        std::size_t position = 0;
        int fadeIndex = 0; // fading voices only: frames of fade done
    };
    struct Waiting
    {
        Playback *playback = nullptr;
        std::int64_t frame = 0;
    };

    void retire(Playback *&playback);
    void followClock(std::int64_t nowNs);
    void takeIncoming();
    void wait(Playback *playback, std::int64_t frame);
    void withdrawSteps(std::int64_t fromFrame);
    void startFirstWaiting();
    void mix(float *out, int from, int to);

    int m_rate;
    std::vector<float> m_fade; // gains of the fade-out, 1 → 0
    std::int64_t m_blockNs = 0;

    SpscRing<Playback *, kQueueCapacity> m_incoming;
    SpscRing<Playback *, kRetireCapacity> m_retired;

    // Audio thread only.
    FrameClock m_clock;
    StreamAnchor m_anchor;
    bool m_started = false;
    std::int64_t m_originNs = 0;                  // monotonic time of frame 0
    std::int64_t m_frame = 0;                     // first frame of the block being rendered
    std::array<Waiting, kMaxWaiting> m_waiting{}; // by frame, m_waitingCount used
    int m_waitingCount = 0;
    Voice m_current;
    std::array<Voice, kMaxFading> m_fading{};

    // Monotonic time minus stream time, as last published by the audio
    // thread; kNotStarted before the first block.
    static constexpr std::int64_t kNotStarted = INT64_MIN;
    std::atomic<std::int64_t> m_streamDistance{kNotStarted};

    std::atomic<std::uint64_t> m_late{0};
    std::atomic<std::uint64_t> m_blocks{0};
    std::atomic<std::uint64_t> m_lateBlocks{0};
    std::atomic<std::uint64_t> m_stalls{0};
    std::atomic<std::uint64_t> m_skipped{0};
};
