#include "AudioEngine.h"

#include "AlertTone.h"
#include "ApplicationFolder.h"
#include "MonotonicClock.h"
#include "SampleCache.h"
#include "SampleResolver.h"
#include "VoicePlayer.h"

#include <chrono>

AudioEngine::AudioEngine()
{
    if (!m_output.open())
        return;
    m_player = std::make_unique<VoicePlayer>(m_output.rate(), m_output.blockFrames());
    m_latencyNs = latencyFor(m_output.rate(), m_output.blockFrames());
    m_output.start(*m_player);
    m_loader = std::thread(&AudioEngine::loaderLoop, this);
}

AudioEngine::~AudioEngine()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_loader.joinable())
        m_loader.join();
    m_output.close(); // stops the audio thread before the player goes
    m_player.reset();
}

std::int64_t AudioEngine::latencyFor(int rate, int blockFrames)
{
    return 2 * 1'000'000'000LL * blockFrames / rate + 5'000'000;
}

bool AudioEngine::hasOutput() const
{
    return m_player != nullptr && m_output.isRunning();
}

std::uint64_t AudioEngine::lateOnsets() const
{
    return m_player ? m_player->lateOnsets() : 0;
}

std::uint64_t AudioEngine::lateBlocks() const
{
    return m_player ? m_player->lateBlocks() : 0;
}

void AudioEngine::playSound(const std::string &samplePath)
{
    if (!m_player)
        return;
    const std::int64_t stamp = monotonicNs();
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(Request{samplePath, stamp});
    }
    m_wake.notify_one();
}

void AudioEngine::loaderLoop()
{
    SampleCache cache(m_output.rate());
    const auto alert = AlertTone::make(m_output.rate());
    std::deque<Request> batch;

    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            // Wake up now and then to release what the audio thread is done with.
            m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            batch.swap(m_queue);
        }
        while (!batch.empty()) {
            const Request request = std::move(batch.front());
            batch.pop_front();
            const bool overtaken = !batch.empty() && request.stampNs + m_latencyNs < monotonicNs();
            if (overtaken || !m_output.isRunning())
                continue;

            const std::string folder = applicationFolder() + "/voc/";
            std::shared_ptr<const SampleBuffer> sound;
            if (const auto file = SampleResolver::resolve(request.path, folder))
                sound = cache.get(*file);
            if (!sound)
                sound = alert;

            auto playback = std::make_unique<Playback>();
            playback->sample = std::move(sound);
            playback->onsetNs = request.stampNs + m_latencyNs;
            m_player->submit(std::move(playback)); // a replaced request is freed here
        }
        m_player->takeRetired(); // freed here, off the audio thread
    }
}
