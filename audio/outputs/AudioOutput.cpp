#include "audio/outputs/AudioOutput.h"

#include "audio/core/AudioLog.h"
#include "audio/core/TimeLimits.h"
#include "audio/core/VoicePlayer.h"

#include <cstring>
#include <thread>

void AudioOutput::start(VoicePlayer &player)
{
    m_realtime.reset();
    player.streamStarted(followsHoles());
    m_player.store(&player, std::memory_order_seq_cst);
}

bool AudioOutput::close(std::chrono::milliseconds limit)
{
    // Let the player go first: a render that took it before this ends within
    // a block, and none starts after. One whose thread is starved for longer
    // than `limit` still holds it: said, so that the player is kept too.
    m_player.store(nullptr, std::memory_order_seq_cst);
    const auto until = std::chrono::steady_clock::now() + limit;
    while (m_rendering.load(std::memory_order_seq_cst) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool released = !m_rendering.load(std::memory_order_seq_cst);
    if (!released)
        qCDebug(lcAudio) << name() << ": a block was still rendering after" << limit.count() << "ms";
    if (!isOpen())
        return released;
    const bool closed = runWithin(limit, [this] { closeNow(); });
    if (!closed)
        qCDebug(lcAudio) << name() << ": the stream did not close in" << limit.count() << "ms; left behind";
    return closed && released;
}

std::vector<std::string> AudioOutput::report()
{
    std::vector<std::string> lines;
    if (std::string said = m_realtime.settle(std::string("the audio thread of ") + name()); !said.empty())
        lines.push_back(std::move(said));
    reportOwn(lines);
    return lines;
}

void AudioOutput::callbackStarted()
{
    m_realtime.askOnAudioThread();
    m_callbacks.fetch_add(1, std::memory_order_relaxed);
}

bool AudioOutput::renderBlock(float *out, int frames, std::int64_t nowNs, std::int64_t graphNs,
                              std::span<const VoicePlayer::BlockHit> hits)
{
    m_rendering.store(true, std::memory_order_seq_cst);
    VoicePlayer *player = m_player.load(std::memory_order_seq_cst);
    if (player)
        player->render(out, frames, nowNs, graphNs, hits);
    else
        std::memset(out, 0, std::size_t(frames) * kFrameBytes);
    m_rendering.store(false, std::memory_order_release);
    return player != nullptr;
}

void AudioOutput::followHole(std::int64_t frames)
{
    m_rendering.store(true, std::memory_order_seq_cst);
    if (VoicePlayer *player = m_player.load(std::memory_order_seq_cst))
        player->skip(frames);
    m_rendering.store(false, std::memory_order_release);
}

bool AudioOutput::playerSounding()
{
    m_rendering.store(true, std::memory_order_seq_cst);
    const VoicePlayer *player = m_player.load(std::memory_order_seq_cst);
    const bool sounding = player && player->sounding();
    m_rendering.store(false, std::memory_order_release);
    return sounding;
}

bool AudioOutput::cannotOpen(std::string why)
{
    m_whyNot = std::move(why);
    closeNow();
    return false;
}
