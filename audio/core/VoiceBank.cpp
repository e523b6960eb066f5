#include "audio/core/VoiceBank.h"

#include "audio/core/Playback.h"

#include <algorithm>

VoiceBank::VoiceBank(Policy policy, int voices, int fades, const std::vector<float> &fade, Retired &retired)
    : m_voiceCount(std::clamp(policy == Policy::One ? 1 : voices, 1, kMaxVoices))
    , m_fadeCount(std::clamp(fades, 1, kMaxFades))
    , m_fade(fade)
    , m_retired(retired)
{}

VoiceBank::~VoiceBank()
{
    // The audio thread is stopped by now: everything left is ours to free.
    for (Voice &v : m_voices)
        delete v.playback;
    for (Voice &v : m_fades)
        delete v.playback;
}

void VoiceBank::retire(Playback *&playback)
{
    if (playback && !m_retired.push(playback)) {
        // Ring full: keep it out of the audio thread's hands without freeing.
    }
    playback = nullptr;
}

void VoiceBank::fadeOut(Voice &voice)
{
    Voice *slot = &m_fades[0];
    for (int i = 0; i < m_fadeCount; ++i) {
        Voice &f = m_fades[std::size_t(i)];
        if (!f.playback) {
            slot = &f;
            break;
        }
        if (f.fadeIndex > slot->fadeIndex)
            slot = &f;
    }
    retire(slot->playback);
    *slot = voice;
    slot->fadeIndex = 0;
    voice = Voice{};
}

void VoiceBank::start(Playback *playback, std::size_t position)
{
    if (playback->chokes != 0)
        for (int i = 0; i < m_voiceCount; ++i)
            if (Voice &v = m_voices[std::size_t(i)]; v.playback && (v.playback->group & playback->chokes) != 0)
                fadeOut(v);
    Voice *free = nullptr;
    Voice *oldest = &m_voices[0];
    for (int i = 0; i < m_voiceCount; ++i) {
        Voice &v = m_voices[std::size_t(i)];
        if (!v.playback) {
            free = &v;
            break;
        }
        if (v.age < oldest->age)
            oldest = &v;
    }
    if (!free) {
        fadeOut(*oldest);
        free = oldest;
    }
    *free = Voice{playback, position, 0, ++m_started};
    if (position >= playback->sample->frames())
        retire(free->playback);
}

void VoiceBank::mix(float *out, int from, int to)
{
    for (int k = 0; k < m_voiceCount; ++k) {
        Voice &v = m_voices[std::size_t(k)];
        if (!v.playback)
            continue;
        const SampleBuffer &sound = *v.playback->sample;
        const float left = v.playback->gain * v.playback->left;
        const float right = v.playback->gain * v.playback->right;
        const std::size_t frames = sound.frames();
        for (int i = from; i < to && v.position < frames; ++i, ++v.position) {
            out[2 * i] += left * sound.at(v.position, 0);
            out[2 * i + 1] += right * sound.at(v.position, 1);
        }
        if (v.position >= frames)
            retire(v.playback);
    }
    const int fadeFrames = int(m_fade.size());
    for (Voice &v : m_fades) {
        if (!v.playback)
            continue;
        const SampleBuffer &sound = *v.playback->sample;
        const float left = v.playback->gain * v.playback->left;
        const float right = v.playback->gain * v.playback->right;
        const std::size_t frames = sound.frames();
        for (int i = from; i < to && v.fadeIndex < fadeFrames && v.position < frames;
             ++i, ++v.position, ++v.fadeIndex) {
            const float g = m_fade[std::size_t(v.fadeIndex)];
            out[2 * i] += g * left * sound.at(v.position, 0);
            out[2 * i + 1] += g * right * sound.at(v.position, 1);
        }
        if (v.fadeIndex >= fadeFrames || v.position >= frames)
            retire(v.playback);
    }
}

void VoiceBank::skip(std::int64_t frames)
{
    if (frames < 0) {
        for (Voice &v : m_voices)
            if (v.playback)
                v.position -= std::min(v.position, std::size_t(-frames));
        return;
    }
    for (Voice &v : m_voices) {
        if (!v.playback)
            continue;
        v.position += std::size_t(frames);
        if (v.position >= v.playback->sample->frames())
            retire(v.playback);
    }
    endFades();
}

void VoiceBank::endFades()
{
    for (Voice &v : m_fades)
        retire(v.playback);
}

bool VoiceBank::sounding() const
{
    return std::any_of(m_voices.begin(), m_voices.end(), [](const Voice &v) { return v.playback; }) ||
        std::any_of(m_fades.begin(), m_fades.end(), [](const Voice &v) { return v.playback; });
}
