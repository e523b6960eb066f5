#pragma once

#include "audio/core/VoiceBank.h"
#include "audio/core/WaitingList.h"

#include <cstdint>
#include <vector>

struct Playback;

// The voices of MIDI hits, beside the window's one voice, on the audio
// thread: hits wait for their frame, then layer (a kick and a hi-hat on one
// tick both sound), up to kVoices at once, the oldest cut (faded out over
// the fade) for a new one; a hit of a choke group fades out every sounding
// hit of that group (VoiceBank's layered policy). Each plays at its gain
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

    // `fade`: the gains of the fade-out, 1 to 0; `retired`: where finished
    // hits go (the player's return ring).
    HitVoices(const std::vector<float> &fade, VoiceBank::Retired &retired);
    ~HitVoices();

    HitVoices(const HitVoices &) = delete;
    HitVoices &operator=(const HitVoices &) = delete;

    // A hit to start on `frame` (one whose frame passed starts on `now`).
    void wait(Playback *hit, std::int64_t frame, std::int64_t now);
    // The frame of the next hit waiting, or `none`.
    std::int64_t nextFrame(std::int64_t none) const { return m_waiting.nextFrame(none); }
    // Starts every hit waiting for `frame` or before.
    void startDue(std::int64_t frame);
    // Adds frames [from, to) of every sounding hit to `out` (stereo).
    void mix(float *out, int from, int to) { m_bank.mix(out, from, to); }
    // The output lost `frames` frames: the hits go on from where the
    // listener now is in them; hits due in the hole start that far in.
    void skip(std::int64_t frames, std::int64_t now);
    bool sounding() const { return m_bank.sounding(); }

private:
    VoiceBank m_bank;
    WaitingList<kWaiting> m_waiting;
};
