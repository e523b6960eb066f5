#pragma once

#include "audio/core/HitVoices.h"
#include "audio/core/Limiter.h"
#include "audio/core/Playback.h"
#include "audio/core/SampleBuffer.h"
#include "audio/core/SpscRing.h"
#include "audio/core/StreamClock.h"
#include "audio/core/VoiceBank.h"
#include "audio/core/WaitingList.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The single voice of the program: the part that runs on the audio thread.
// Onsets are given in stream time (StreamClock) and start on their frame.
//
// Hand-over, request side (one thread at a time): submit() queues a
// Playback in a lock-free ring. Audio side: render() takes what arrived and
// keeps it, ordered by onset, until its frame comes; there the new sound cuts
// whatever plays: the old sound fades out over kFadeMs while the new one
// starts at full level. A request for the same frame as one still waiting
// replaces it. One whose frame has passed starts at once (counted as late),
// unless it passed more than kStaleMs ago (a request queued while the output
// was held up): that one is dropped, not played out of its time. A Withdraw
// request drops the loop's steps that wait from its onset on, in the order
// of the requests: steps asked for after it stay.
//
// MIDI hits come through a ring of their own (submitHit(), one thread at a
// time) and play on voices of their own (HitVoices), mixed with the window's
// voice (each a VoiceBank with its waiting list); a key still cuts a key, a
// step a step, and neither cuts a hit. The sum goes through a limiter
// (Limiter): a drummer's accents on several drums at once are turned down,
// never clipped; one sound alone passes unchanged.
//
// Return path: every Playback the audio thread is done with goes into a
// lock-free ring that one other thread (one at a time) empties with
// takeRetired(), so memory is only ever released off the audio thread. If
// that ring is full (its reader stalled for a long time), the audio thread
// keeps the Playback rather than free it: it is leaked, never freed late or
// on the wrong thread.
//
// render() never allocates, frees, locks, logs or touches files.
class VoicePlayer
{
public:
    static constexpr double kFadeMs = 3.0;
    static constexpr int kMaxFading = 4;
    static constexpr int kMaxWaiting = 8;
    static constexpr std::size_t kQueueCapacity = 64;
    static constexpr std::size_t kRetireCapacity = VoiceBank::kRetireCapacity;
    static constexpr std::int64_t kStaleMs = 100;
    // What blockFrames() says before the first block.
    static constexpr int kFirstBlockFrames = 256;
    static constexpr int kSmallerBlocksTaken = 8;

    explicit VoicePlayer(int rate);
    ~VoicePlayer();

    VoicePlayer(const VoicePlayer &) = delete;
    VoicePlayer &operator=(const VoicePlayer &) = delete;

    // Request side. Hands the request back when the queue is full.
    std::unique_ptr<Playback> submit(std::unique_ptr<Playback> playback);
    // Hit side (one thread at a time, the MIDI player's): a Kind::Hit.
    std::unique_ptr<Playback> submitHit(std::unique_ptr<Playback> hit);

    // Retired side: the requests the audio thread has finished with.
    std::vector<std::unique_ptr<Playback>> takeRetired();

    // A MIDI hit heard in the cycle being rendered, to start `offset` frames
    // into the block (the output's node hears the pad itself).
    struct BlockHit
    {
        Playback *hit = nullptr;
        int offset = 0;
    };

    // Audio thread: fills `frames` stereo frames; `nowNs` is the monotonic
    // time read when the output asked for them; `graphNs`, where the output
    // has one, the graph's time of the cycle (StreamClock::graphCycle).
    // `hits` start in this block at their offsets; they are the player's
    // from now on.
    void render(float *out, int frames, std::int64_t nowNs, std::int64_t graphNs = -1,
                std::span<const BlockHit> hits = {});

    // Audio thread: whether a sound is playing (or fading) now, the window's
    // or a hit.
    bool sounding() const;

    // Any one thread, as the program ends, never blocks: from the next block
    // on, everything that sounds fades out over kFadeMs, and nothing sounds
    // after, so that closing the output cuts no sound short (a click).
    void fadeOutForClose() { m_closing.store(true, std::memory_order_relaxed); }
    // Any one thread, never blocks: the same fade out, then silence, while
    // the output is handed over to another; hush(false) fades back in over
    // kFadeMs. The sounds go on meanwhile, unheard: what plays after comes
    // in at the point it has reached.
    void hush(bool on) { m_hushed.store(on, std::memory_order_relaxed); }
    // Any thread: the frames rendered, up to now, since the last one with
    // any sound in it.
    std::int64_t framesQuiet() const { return m_framesQuiet.load(std::memory_order_relaxed); }

    // The thread that starts a stream, before its first block, while no
    // audio thread renders: a new stream plays from now on, following its
    // holes itself or not (see StreamClock).
    void streamStarted(bool followsHoles) { m_clock.streamStarted(followsHoles); }

    // Audio thread, before a render(): the output lost `frames` frames (the
    // server played a hole where they would have gone). Stream time moves on
    // by as much, so that what waits keeps its place on the server's
    // timeline, and a sound that was playing goes on from where the listener
    // would now be in it. Negative `frames`: the server dropped that many of
    // the frames last given (a quantum that shrank under a block rendered
    // for the larger one); stream time goes back by as much.
    void skip(std::int64_t frames);

    // Any thread: the stream time at monotonic time `monotonicNs`, and
    // stream time to frames and back (StreamClock).
    std::int64_t streamNs(std::int64_t monotonicNs) const { return m_clock.streamNs(monotonicNs); }
    std::int64_t streamNsAtGraph(std::int64_t graphNs) const { return m_clock.streamNsAtGraph(graphNs); }

    std::int64_t framesFor(std::int64_t ns) const { return m_clock.framesFor(ns); }
    std::int64_t nsFor(std::int64_t frames) const { return m_clock.nsFor(frames); }

    // Counters, readable from any thread.
    std::uint64_t lateOnsets() const { return m_late.load(std::memory_order_relaxed); }
    // Requests dropped because their moment had long passed.
    std::uint64_t staleDropped() const { return m_stale.load(std::memory_order_relaxed); }
    // The stream clock's: blocks that came late, stalls.
    std::uint64_t lateBlocks() const { return m_clock.lateBlocks(); }
    std::uint64_t stalls() const { return m_clock.stalls(); }
    // Any thread: the frames of the blocks the output asks for now (the
    // largest of blocks that vary, as a graph at another rate asks).
    int blockFrames() const { return m_blockFrames.load(std::memory_order_relaxed); }
    int rate() const { return m_rate; }
    int fadeFrames() const { return int(m_fade.size()); }

private:
    void retire(Playback *&playback) { m_voice.retire(playback); }
    void takeIncoming();
    void wait(Playback *playback, std::int64_t frame);
    void withdrawSteps(std::int64_t fromFrame);

    int m_rate;
    std::vector<float> m_fade; // gains of the fade-out, 1 → 0

    SpscRing<Playback *, kQueueCapacity> m_incoming;
    SpscRing<Playback *, kQueueCapacity> m_incomingHits;
    VoiceBank::Retired m_retired;
    HitVoices m_hits{m_fade, m_retired};
    Limiter m_limiter;

    // Audio thread only, but for the clock's any-thread methods.
    StreamClock m_clock;
    WaitingList<kMaxWaiting> m_waiting;
    VoiceBank m_voice{VoiceBank::Policy::One, 1, kMaxFading, m_fade, m_retired};

    std::atomic<std::uint64_t> m_late{0};
    std::atomic<std::uint64_t> m_stale{0};
    std::atomic<int> m_blockFrames{kFirstBlockFrames};
    int m_smallerBlocks = 0; // the audio thread's: smaller blocks in a row
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_hushed{false};
    std::size_t m_mixFaded = 0; // audio thread: frames of the mix's fade out done (back to 0 fading in)
    std::atomic<std::int64_t> m_framesQuiet{0};
};
