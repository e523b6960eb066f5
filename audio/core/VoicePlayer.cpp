#include "audio/core/VoicePlayer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

VoicePlayer::VoicePlayer(int rate)
    : m_rate(rate)
    , m_limiter(rate)
    , m_clock(rate)
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
    Playback *p = nullptr;
    while (m_incoming.pop(p))
        delete p;
    while (m_incomingHits.pop(p))
        delete p;
    for (int i = 0; i < m_waitingCount; ++i)
        delete m_waiting[std::size_t(i)].playback;
    delete m_current.playback;
    for (Voice &v : m_fading)
        delete v.playback;
    takeRetired();
}

std::unique_ptr<Playback> VoicePlayer::submit(std::unique_ptr<Playback> playback)
{
    if (m_incoming.push(playback.get()))
        playback.release();
    return playback;
}

std::unique_ptr<Playback> VoicePlayer::submitHit(std::unique_ptr<Playback> hit)
{
    if (m_incomingHits.push(hit.get()))
        hit.release();
    return hit;
}

std::vector<std::unique_ptr<Playback>> VoicePlayer::takeRetired()
{
    std::vector<std::unique_ptr<Playback>> done;
    Playback *p = nullptr;
    while (m_retired.pop(p))
        done.emplace_back(p);
    return done;
}

bool VoicePlayer::sounding() const
{
    return m_current.playback || m_hits.sounding() ||
        std::any_of(m_fading.begin(), m_fading.end(), [](const Voice &v) { return v.playback; });
}

void VoicePlayer::skip(std::int64_t frames)
{
    if (frames == 0 || !m_clock.started())
        return;
    m_clock.skip(frames);
    m_hits.skip(frames, m_clock.frame());
    if (frames < 0) {
        // What the server dropped is played again: the sound goes back by as
        // much (one that started within it starts over); fades go on.
        if (m_current.playback)
            m_current.position -= std::min(m_current.position, std::size_t(-frames));
        return;
    }
    if (m_current.playback) {
        m_current.position += std::size_t(frames);
        if (m_current.position >= m_current.playback->sample->frames())
            retire(m_current.playback);
    }
    for (Voice &v : m_fading)
        retire(v.playback); // their fade has passed in the hole
    // Sounds due within the hole started there, each cutting the one before:
    // the listener is now that far into the last of them.
    while (m_waitingCount > 0 && m_waiting[0].frame < m_clock.frame()) {
        const std::int64_t into = m_clock.frame() - m_waiting[0].frame;
        retire(m_current.playback);
        m_current = Voice{m_waiting[0].playback, std::size_t(into), 0};
        for (int i = 1; i < m_waitingCount; ++i)
            m_waiting[std::size_t(i - 1)] = m_waiting[std::size_t(i)];
        --m_waitingCount;
        m_waiting[std::size_t(m_waitingCount)] = Waiting{};
        if (m_current.position >= m_current.playback->sample->frames())
            retire(m_current.playback);
    }
}

void VoicePlayer::retire(Playback *&playback)
{
    if (playback && !m_retired.push(playback)) {
        // Ring full: keep it out of the audio thread's hands without freeing.
    }
    playback = nullptr;
}

void VoicePlayer::wait(Playback *playback, std::int64_t frame)
{
    if (frame < m_clock.frame()) {
        if (m_clock.frame() - frame > m_clock.framesFor(kStaleMs * 1'000'000)) {
            m_stale.fetch_add(1, std::memory_order_relaxed);
            retire(playback);
            return;
        }
        m_late.fetch_add(1, std::memory_order_relaxed); // starts at once, late
        frame = m_clock.frame();
    }
    int at = 0;
    while (at < m_waitingCount && m_waiting[std::size_t(at)].frame < frame)
        ++at;
    if (at < m_waitingCount && m_waiting[std::size_t(at)].frame == frame) {
        retire(m_waiting[std::size_t(at)].playback); // the newer request for this frame wins
        m_waiting[std::size_t(at)].playback = playback;
        return;
    }
    if (m_waitingCount == kMaxWaiting) {
        // Full: the one due last gives way.
        Waiting &last = m_waiting[std::size_t(kMaxWaiting - 1)];
        if (at == kMaxWaiting) {
            retire(playback);
            return;
        }
        retire(last.playback);
        --m_waitingCount;
    }
    for (int i = m_waitingCount; i > at; --i)
        m_waiting[std::size_t(i)] = m_waiting[std::size_t(i - 1)];
    m_waiting[std::size_t(at)] = Waiting{playback, frame};
    ++m_waitingCount;
}

void VoicePlayer::withdrawSteps(std::int64_t fromFrame)
{
    int kept = 0;
    for (int i = 0; i < m_waitingCount; ++i) {
        Waiting &w = m_waiting[std::size_t(i)];
        if (w.playback->kind == Playback::Kind::Step && w.frame >= fromFrame)
            retire(w.playback);
        else
            m_waiting[std::size_t(kept++)] = w;
    }
    for (int i = kept; i < m_waitingCount; ++i)
        m_waiting[std::size_t(i)] = Waiting{};
    m_waitingCount = kept;
}

void VoicePlayer::takeIncoming()
{
    Playback *incoming = nullptr;
    while (m_incomingHits.pop(incoming)) {
        const std::int64_t frame = m_clock.frameAt(incoming->onsetNs);
        if (m_clock.frame() - frame > m_clock.framesFor(kStaleMs * 1'000'000)) {
            m_stale.fetch_add(1, std::memory_order_relaxed);
            retire(incoming);
            continue;
        }
        if (frame < m_clock.frame())
            m_late.fetch_add(1, std::memory_order_relaxed);
        m_hits.wait(incoming, frame, m_clock.frame());
    }
    while (m_incoming.pop(incoming)) {
        const std::int64_t frame = m_clock.frameAt(incoming->onsetNs);
        if (incoming->kind == Playback::Kind::Withdraw) {
            withdrawSteps(frame);
            retire(incoming);
        } else {
            wait(incoming, frame);
        }
    }
}

void VoicePlayer::startFirstWaiting()
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
    m_current = Voice{m_waiting[0].playback, 0, 0};
    for (int i = 1; i < m_waitingCount; ++i)
        m_waiting[std::size_t(i - 1)] = m_waiting[std::size_t(i)];
    --m_waitingCount;
    m_waiting[std::size_t(m_waitingCount)] = Waiting{};
}

void VoicePlayer::mix(float *out, int from, int to)
{
    std::fill(out + 2 * from, out + 2 * to, 0.0f);

    if (Playback *p = m_current.playback) {
        const SampleBuffer &sound = *p->sample;
        const std::size_t frames = sound.frames();
        const std::size_t n = std::min<std::size_t>(std::size_t(to - from), frames - m_current.position);
        float *dst = out + 2 * from;
        if (sound.channels == 2) {
            const float *src = sound.samples.data() + 2 * m_current.position;
            for (std::size_t i = 0; i < 2 * n; ++i)
                dst[i] += src[i];
        } else {
            const float *src = sound.samples.data() + m_current.position;
            for (std::size_t i = 0; i < n; ++i) {
                dst[2 * i] += src[i];
                dst[2 * i + 1] += src[i];
            }
        }
        m_current.position += n;
        if (m_current.position >= frames)
            retire(m_current.playback);
    }

    const int fadeFrames = int(m_fade.size());
    for (Voice &v : m_fading) {
        if (!v.playback)
            continue;
        const SampleBuffer &sound = *v.playback->sample;
        const std::size_t frames = sound.frames();
        int i = from;
        for (; i < to && v.fadeIndex < fadeFrames && v.position < frames; ++i, ++v.position, ++v.fadeIndex) {
            const float g = m_fade[std::size_t(v.fadeIndex)];
            out[2 * i] += g * sound.at(v.position, 0);
            out[2 * i + 1] += g * sound.at(v.position, 1);
        }
        if (v.fadeIndex >= fadeFrames || v.position >= frames)
            retire(v.playback);
    }
}

void VoicePlayer::render(float *out, int frames, std::int64_t nowNs, std::int64_t graphNs,
                         std::span<const BlockHit> hits)
{
    // A larger block is taken at once; a smaller one once it has come
    // kSmallerBlocksTaken times in a row: a quantum that alternates by a frame
    // (a graph at another rate) keeps its largest, and so does an output
    // that writes a request's last few frames as a short block.
    if (const int said = m_blockFrames.load(std::memory_order_relaxed); frames > said) {
        m_blockFrames.store(frames, std::memory_order_relaxed);
        m_smallerBlocks = 0;
    } else if (frames == said) {
        m_smallerBlocks = 0;
    } else if (++m_smallerBlocks >= kSmallerBlocksTaken) {
        m_blockFrames.store(frames, std::memory_order_relaxed);
        m_smallerBlocks = 0;
    }
    m_clock.blockStarted(nowNs, frames);
    if (graphNs >= 0)
        m_clock.graphCycle(graphNs);
    takeIncoming();
    const std::int64_t first = m_clock.frame();
    for (const BlockHit &hit : hits)
        m_hits.wait(hit.hit, first + std::clamp(hit.offset, 0, frames - 1), first);

    // The block in pieces, from one onset to the next, the window's voice's
    // or a hit's.
    int done = 0;
    while (done < frames) {
        std::int64_t next = m_hits.nextFrame(first + frames);
        if (m_waitingCount > 0)
            next = std::min(next, m_waiting[0].frame);
        const int until = next < first + frames ? std::max(done, int(next - first)) : frames;
        mix(out, done, until);
        m_hits.mix(out, done, until);
        done = until;
        if (done == frames)
            break;
        if (m_waitingCount > 0 && m_waiting[0].frame <= first + done)
            startFirstWaiting();
        m_hits.startDue(first + done);
    }

    // Fades and hits overlapping add up: the sum is turned down, not clipped.
    m_limiter.process(out, frames);

    // The whole mix fading out (closing, a hand-over) or back in.
    const bool down = m_closing.load(std::memory_order_relaxed) || m_hushed.load(std::memory_order_relaxed);
    if (down || m_mixFaded > 0) {
        for (int i = 0; i < frames; ++i) {
            float gain = 1.0f;
            if (down)
                gain = m_mixFaded < m_fade.size() ? m_fade[m_mixFaded++] : 0.0f;
            else if (m_mixFaded > 0)
                gain = m_fade[--m_mixFaded];
            out[2 * i] *= gain;
            out[2 * i + 1] *= gain;
        }
    }
    std::int64_t quiet = m_framesQuiet.load(std::memory_order_relaxed);
    for (int i = 0; i < frames; ++i)
        quiet = (out[2 * i] == 0.0f && out[2 * i + 1] == 0.0f) ? quiet + 1 : 0;
    m_framesQuiet.store(quiet, std::memory_order_relaxed);

    m_clock.blockRendered(frames);
}
