#pragma once

#include "audio/core/SampleBuffer.h"
#include "audio/core/SpscRing.h"

#include <array>
#include <cstdint>
#include <vector>

struct Playback;

// The voices of MIDI hits, beside the window's one voice, on the audio
// thread: hits layer (a kick and a hi-hat on one tick both sound), up to
// kVoices at once, the oldest cut (faded out over the fade) for a new one.
// A hit of a choke group fades out every sounding hit of that group (the
// closed hi-hat and the pedal choke the open one). Each plays at its gain
// (its velocity's loudness).
//
// Everything it is done with goes into the player's return ring; it never
// allocates, frees, locks or logs. Audio thread only.
class HitVoices
{
public:
    static constexpr int kVoices = 8;
    static constexpr int kWaiting = 32;
    static constexpr int kFades = 8;
    static constexpr std::size_t kRetireCapacity = 256;

    // `fade`: the gains of the fade-out, 1 to 0; `retired`: where finished
    // hits go (the player's return ring).
    HitVoices(const std::vector<float> &fade, SpscRing<Playback *, kRetireCapacity> &retired);
    ~HitVoices();

    HitVoices(const HitVoices &) = delete;
    HitVoices &operator=(const HitVoices &) = delete;

    // A hit to start on `frame` (one whose frame passed starts on `now`).
    void wait(Playback *hit, std::int64_t frame, std::int64_t now);
    // The frame of the next hit waiting, or `none`.
    std::int64_t nextFrame(std::int64_t none) const;
    // Starts every hit waiting for `frame` or before.
    void startDue(std::int64_t frame);
    // Adds frames [from, to) of every sounding hit to `out` (stereo).
    void mix(float *out, int from, int to);
    // The output lost `frames` frames: the hits go on from where the
    // listener now is in them; hits due in the hole start that far in.
    void skip(std::int64_t frames, std::int64_t now);
    bool sounding() const;

private:
    struct Voice
    {
        Playback *hit = nullptr;
        std::size_t position = 0;
        int fadeIndex = 0;
        std::uint64_t age = 0; // when it started, to tell the oldest
    };
    struct Waiting
    {
        Playback *hit = nullptr;
        std::int64_t frame = 0;
    };

    void retire(Playback *&hit);
    void start(Playback *hit, std::size_t position);
    // The first `count` waiting hits, started, out of the list.
    void dropWaiting(int count);
    void fadeOut(Voice &voice);

    const std::vector<float> &m_fade;
    SpscRing<Playback *, kRetireCapacity> &m_retired;
    std::array<Waiting, kWaiting> m_waiting{}; // by frame, m_waitingCount used
    int m_waitingCount = 0;
    std::array<Voice, kVoices> m_voices{};
    std::array<Voice, kFades> m_fades{};
    std::uint64_t m_started = 0;
};
