#include "audio/core/HitVoices.h"

#include "audio/core/Playback.h"

#include <algorithm>

HitVoices::HitVoices(const std::vector<float> &fade, SpscRing<Playback *, kRetireCapacity> &retired)
    : m_fade(fade)
    , m_retired(retired)
{}

HitVoices::~HitVoices()
{
    // The audio thread is stopped by now: everything left is ours to free.
    for (int i = 0; i < m_waitingCount; ++i)
        delete m_waiting[std::size_t(i)].hit;
    for (Voice &v : m_voices)
        delete v.hit;
    for (Voice &v : m_fades)
        delete v.hit;
}

void HitVoices::retire(Playback *&hit)
{
    if (hit && !m_retired.push(hit)) {
        // Ring full: keep it out of the audio thread's hands without freeing.
    }
    hit = nullptr;
}

void HitVoices::wait(Playback *hit, std::int64_t frame, std::int64_t now)
{
    frame = std::max(frame, now);
    if (m_waitingCount == kWaiting) {
        // Full: the one due last gives way.
        if (frame >= m_waiting[std::size_t(kWaiting - 1)].frame) {
            retire(hit);
            return;
        }
        retire(m_waiting[std::size_t(kWaiting - 1)].hit);
        --m_waitingCount;
    }
    int at = m_waitingCount;
    while (at > 0 && m_waiting[std::size_t(at - 1)].frame > frame) {
        m_waiting[std::size_t(at)] = m_waiting[std::size_t(at - 1)];
        --at;
    }
    m_waiting[std::size_t(at)] = Waiting{hit, frame};
    ++m_waitingCount;
}

std::int64_t HitVoices::nextFrame(std::int64_t none) const
{
    return m_waitingCount > 0 ? m_waiting[0].frame : none;
}

void HitVoices::fadeOut(Voice &voice)
{
    // Into a fade slot: a free one, or else the one furthest along.
    Voice *slot = &m_fades[0];
    for (Voice &f : m_fades) {
        if (!f.hit) {
            slot = &f;
            break;
        }
        if (f.fadeIndex > slot->fadeIndex)
            slot = &f;
    }
    retire(slot->hit);
    *slot = voice;
    slot->fadeIndex = 0;
    voice = Voice{};
}

void HitVoices::start(Playback *hit, std::size_t position)
{
    if (hit->chokes != 0)
        for (Voice &v : m_voices)
            if (v.hit && (v.hit->group & hit->chokes) != 0)
                fadeOut(v);
    Voice *free = nullptr;
    Voice *oldest = &m_voices[0];
    for (Voice &v : m_voices) {
        if (!v.hit) {
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
    *free = Voice{hit, position, 0, ++m_started};
    if (position >= hit->sample->frames())
        retire(free->hit);
}

void HitVoices::startDue(std::int64_t frame)
{
    int started = 0;
    while (started < m_waitingCount && m_waiting[std::size_t(started)].frame <= frame) {
        start(m_waiting[std::size_t(started)].hit, 0);
        ++started;
    }
    dropWaiting(started);
}

void HitVoices::dropWaiting(int count)
{
    for (int i = count; i < m_waitingCount; ++i)
        m_waiting[std::size_t(i - count)] = m_waiting[std::size_t(i)];
    for (int i = m_waitingCount - count; i < m_waitingCount; ++i)
        m_waiting[std::size_t(i)] = Waiting{};
    m_waitingCount -= count;
}

void HitVoices::mix(float *out, int from, int to)
{
    for (Voice &v : m_voices) {
        if (!v.hit)
            continue;
        const SampleBuffer &sound = *v.hit->sample;
        const float gain = v.hit->gain;
        const std::size_t frames = sound.frames();
        for (int i = from; i < to && v.position < frames; ++i, ++v.position) {
            out[2 * i] += gain * sound.at(v.position, 0);
            out[2 * i + 1] += gain * sound.at(v.position, 1);
        }
        if (v.position >= frames)
            retire(v.hit);
    }
    const int fadeFrames = int(m_fade.size());
    for (Voice &v : m_fades) {
        if (!v.hit)
            continue;
        const SampleBuffer &sound = *v.hit->sample;
        const float gain = v.hit->gain;
        const std::size_t frames = sound.frames();
        for (int i = from; i < to && v.fadeIndex < fadeFrames && v.position < frames;
             ++i, ++v.position, ++v.fadeIndex) {
            const float g = gain * m_fade[std::size_t(v.fadeIndex)];
            out[2 * i] += g * sound.at(v.position, 0);
            out[2 * i + 1] += g * sound.at(v.position, 1);
        }
        if (v.fadeIndex >= fadeFrames || v.position >= frames)
            retire(v.hit);
    }
}

void HitVoices::skip(std::int64_t frames, std::int64_t now)
{
    if (frames < 0) {
        for (Voice &v : m_voices)
            if (v.hit)
                v.position -= std::min(v.position, std::size_t(-frames));
        return;
    }
    for (Voice &v : m_voices) {
        if (!v.hit)
            continue;
        v.position += std::size_t(frames);
        if (v.position >= v.hit->sample->frames())
            retire(v.hit);
    }
    for (Voice &v : m_fades)
        retire(v.hit); // their fade has passed in the hole
    int started = 0;
    while (started < m_waitingCount && m_waiting[std::size_t(started)].frame < now) {
        const Waiting &w = m_waiting[std::size_t(started)];
        start(w.hit, std::size_t(now - w.frame));
        ++started;
    }
    dropWaiting(started);
}

bool HitVoices::sounding() const
{
    return std::any_of(m_voices.begin(), m_voices.end(), [](const Voice &v) { return v.hit; }) ||
        std::any_of(m_fades.begin(), m_fades.end(), [](const Voice &v) { return v.hit; });
}
