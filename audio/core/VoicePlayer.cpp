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
    std::int64_t frame = 0;
    while (!m_waiting.empty())
        delete m_waiting.popFront(frame);
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
    return m_voice.sounding() || m_hits.sounding();
}

void VoicePlayer::skip(std::int64_t frames)
{
    if (frames == 0 || !m_clock.started())
        return;
    m_clock.skip(frames);
    m_hits.skip(frames, m_clock.frame());
    // What the server dropped is played again: the sound goes back by as
    // much (one that started within it starts over); fades go on. After a
    // hole, sounds due within it started there, each cutting the one
    // before: the listener is now that far into the last of them.
    m_voice.skip(frames);
    if (frames < 0)
        return;
    std::int64_t due = 0;
    while (m_waiting.nextFrame(m_clock.frame()) < m_clock.frame()) {
        Playback *playback = m_waiting.popFront(due);
        m_voice.start(playback, std::size_t(m_clock.frame() - due));
    }
    m_voice.endFades();
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
    Playback *dropped = nullptr;
    m_waiting.insert(playback, frame, WaitingList<kMaxWaiting>::Ties::Replace, dropped);
    retire(dropped);
}

void VoicePlayer::withdrawSteps(std::int64_t fromFrame)
{
    m_waiting.removeIf(
        [fromFrame](const Playback *p, std::int64_t frame) {
            return p->kind == Playback::Kind::Step && frame >= fromFrame;
        },
        [this](Playback *p) { retire(p); });
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
        const std::int64_t next = std::min(m_hits.nextFrame(first + frames), m_waiting.nextFrame(first + frames));
        const int until = next < first + frames ? std::max(done, int(next - first)) : frames;
        std::fill(out + 2 * done, out + 2 * until, 0.0f);
        m_voice.mix(out, done, until);
        m_hits.mix(out, done, until);
        done = until;
        if (done == frames)
            break;
        std::int64_t due = 0;
        while (m_waiting.nextFrame(first + done + 1) <= first + done)
            m_voice.start(m_waiting.popFront(due), 0);
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
