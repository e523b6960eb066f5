#pragma once

#include "audio/core/SpscRing.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct Playback;

// Voices sounding and voices fading out: what the window's voice and the MIDI
// hits share (HitVoices, VoicePlayer), with a policy each:
//   - Policy::One: one voice; a new sound fades out the one before (the
//     window's voice, as its design has it);
//   - Policy::Layered: sounds layer, up to the voices given, the oldest faded
//     out for a new one; a sound of a choke group fades out every sounding
//     one of that group (the closed hi-hat and the pedal choke the open one).
// A fade takes a free fade slot, or else the one furthest along. Each sound
// plays at its gain.
//
// Everything it is done with goes into the player's return ring; it never
// allocates, frees, locks or logs. Audio thread only, but for the
// destructor (the audio thread stopped).
class VoiceBank
{
public:
    enum class Policy { One, Layered };
    static constexpr int kMaxVoices = 8;
    static constexpr int kMaxFades = 8;
    static constexpr std::size_t kRetireCapacity = 256;
    using Retired = SpscRing<Playback *, kRetireCapacity>;

    // `fade`: the gains of the fade-out, 1 to 0; `retired`: where finished
    // sounds go.
    VoiceBank(Policy policy, int voices, int fades, const std::vector<float> &fade, Retired &retired);
    ~VoiceBank();

    VoiceBank(const VoiceBank &) = delete;
    VoiceBank &operator=(const VoiceBank &) = delete;

    // Starts `playback` `position` frames in, by the policy.
    void start(Playback *playback, std::size_t position);
    // Adds frames [from, to) of every voice and fade to `out` (stereo).
    void mix(float *out, int from, int to);
    // The output lost `frames` frames (the voices go on from where the
    // listener now is, the fades are over), or dropped -`frames` of those
    // given last (the voices go back by as much; the fades go on).
    void skip(std::int64_t frames);
    // Ends every fade at once (in a hole, where none of it is heard).
    void endFades();
    bool sounding() const;
    // Into the return ring, and `playback` emptied.
    void retire(Playback *&playback);

private:
    struct Voice
    {
        Playback *playback = nullptr;
        std::size_t position = 0;
        int fadeIndex = 0;     // fades: frames of fade done
        std::uint64_t age = 0; // when it started, to tell the oldest
    };

    void fadeOut(Voice &voice);

    int m_voiceCount;
    int m_fadeCount;
    const std::vector<float> &m_fade;
    Retired &m_retired;
    std::array<Voice, kMaxVoices> m_voices{};
    std::array<Voice, kMaxFades> m_fades{};
    std::uint64_t m_started = 0;
};
