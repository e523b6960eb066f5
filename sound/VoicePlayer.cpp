#include "VoicePlayer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

VoicePlayer::VoicePlayer(int rate, int blockFrames)
    : m_rate(rate)
    , m_clock(rate, blockFrames)
    , m_blockNs(1'000'000'000LL * blockFrames / rate)
{
    // Raised-cosine fade: smooth at both ends, so the cut adds no edge.
    const int fadeFrames = std::max(1, int(std::lround(kFadeMs * rate / 1000.0)));
    m_fade.resize(std::size_t(fadeFrames));
    for (int i = 0; i < fadeFrames; ++i)
        m_fade[std::size_t(i)] = float(0.5 * (1.0 + std::cos(std::numbers::pi * (i + 1) / (fadeFrames + 1))));
}

VoicePlayer::~VoicePlayer()
{
    // The audio thread is stopped by now: everything left is ours to free.
    delete m_mailbox.exchange(nullptr);
    delete m_scheduled;
    delete m_current.playback;
    for (Voice &v : m_fading)
        delete v.playback;
    takeRetired();
}

std::unique_ptr<Playback> VoicePlayer::submit(std::unique_ptr<Playback> playback)
{
    return std::unique_ptr<Playback>(m_mailbox.exchange(playback.release(), std::memory_order_acq_rel));
}

std::vector<std::unique_ptr<Playback>> VoicePlayer::takeRetired()
{
    std::vector<std::unique_ptr<Playback>> done;
    Playback *p = nullptr;
    while (m_retired.pop(p))
        done.emplace_back(p);
    return done;
}

void VoicePlayer::retire(Playback *&playback)
{
    if (playback && !m_retired.push(playback)) {
        // Ring full: keep it out of the audio thread's hands without freeing.
    }
    playback = nullptr;
}

void VoicePlayer::startScheduled()
{
    if (m_current.playback) {
        // Take the slot of a finished fade, or else of the one furthest along.
        Voice *slot = &m_fading[0];
        for (Voice &v : m_fading) {
            if (!v.playback) {
                slot = &v;
                break;
            }
            if (v.fadeIndex > slot->fadeIndex)
                slot = &v;
        }
        retire(slot->playback);
        *slot = m_current;
        slot->fadeIndex = 0;
    }
    m_current = Voice{m_scheduled, 0, 0};
    m_scheduled = nullptr;
}

void VoicePlayer::mix(float *out, int from, int to)
{
    std::fill(out + 2 * from, out + 2 * to, 0.0f);

    if (Playback *p = m_current.playback) {
        const std::vector<float> &s = p->sample->samples;
        const std::size_t frames = p->sample->frames();
        const std::size_t n = std::min<std::size_t>(std::size_t(to - from), frames - m_current.position);
        const float *src = s.data() + 2 * m_current.position;
        for (std::size_t i = 0; i < 2 * n; ++i)
            out[2 * from + i] += src[i];
        m_current.position += n;
        if (m_current.position >= frames)
            retire(m_current.playback);
    }

    const int fadeFrames = int(m_fade.size());
    for (Voice &v : m_fading) {
        if (!v.playback)
            continue;
        const std::vector<float> &s = v.playback->sample->samples;
        const std::size_t frames = v.playback->sample->frames();
        int i = from;
        for (; i < to && v.fadeIndex < fadeFrames && v.position < frames; ++i, ++v.position, ++v.fadeIndex) {
            const float g = m_fade[std::size_t(v.fadeIndex)];
            out[2 * i] += g * s[2 * v.position];
            out[2 * i + 1] += g * s[2 * v.position + 1];
        }
        if (v.fadeIndex >= fadeFrames || v.position >= frames)
            retire(v.playback);
    }
}

void VoicePlayer::render(float *out, int frames, std::int64_t nowNs)
{
    if (m_clock.blockStarted(nowNs, m_frame) > m_blockNs)
        m_lateBlocks.fetch_add(1, std::memory_order_relaxed);

    if (Playback *incoming = m_mailbox.exchange(nullptr, std::memory_order_acq_rel)) {
        retire(m_scheduled); // a newer request replaces one not yet started
        m_scheduled = incoming;
        if (m_clock.frameAt(incoming->onsetNs) < m_frame)
            m_late.fetch_add(1, std::memory_order_relaxed); // starts at once, late
    }

    if (m_scheduled) // follow the clock's latest estimate until it starts
        m_scheduledFrame = std::max(m_frame, m_clock.frameAt(m_scheduled->onsetNs));

    int done = 0;
    while (done < frames) {
        int until = frames;
        const bool startsHere = m_scheduled && m_scheduledFrame < m_frame + frames;
        if (startsHere)
            until = int(m_scheduledFrame - m_frame);
        mix(out, done, until);
        done = until;
        if (startsHere)
            startScheduled();
    }

    m_frame += frames;
    m_blocks.fetch_add(1, std::memory_order_relaxed);
}
