#include "audio/core/HitVoices.h"

#include "audio/core/Playback.h"

#include <algorithm>

HitVoices::HitVoices(const std::vector<float> &fade, VoiceBank::Retired &retired)
    : m_bank(VoiceBank::Policy::Layered, kVoices, kFades, fade, retired)
{}

HitVoices::~HitVoices()
{
    // The audio thread is stopped by now: everything left is ours to free.
    std::int64_t frame = 0;
    while (!m_waiting.empty())
        delete m_waiting.popFront(frame);
}

void HitVoices::wait(Playback *hit, std::int64_t frame, std::int64_t now)
{
    Playback *dropped = nullptr;
    m_waiting.insert(hit, std::max(frame, now), WaitingList<kWaiting>::Ties::After, dropped);
    m_bank.retire(dropped);
}

void HitVoices::startDue(std::int64_t frame)
{
    std::int64_t due = 0;
    while (m_waiting.nextFrame(frame + 1) <= frame)
        m_bank.start(m_waiting.popFront(due), 0);
}

void HitVoices::skip(std::int64_t frames, std::int64_t now)
{
    m_bank.skip(frames);
    if (frames < 0)
        return;
    std::int64_t due = 0;
    while (m_waiting.nextFrame(now) < now) {
        Playback *hit = m_waiting.popFront(due);
        m_bank.start(hit, std::size_t(now - due));
    }
}
