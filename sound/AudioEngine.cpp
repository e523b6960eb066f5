#include "AudioEngine.h"

#include "AlertTone.h"
#include "ApplicationFolder.h"
#include "AudioLog.h"
#include "MonotonicClock.h"
#include "SampleCache.h"
#include "SampleIndex.h"
#include "VoicePlayer.h"

#include <chrono>
#include <vector>

namespace {

// What could not be stopped in time stays alive until the process ends: a
// thread stuck in the sound server may still use it.
template <typename T>
void keepForever(std::unique_ptr<T> object)
{
    static std::mutex mutex;
    static auto *kept = new std::vector<std::unique_ptr<T>>; // never destroyed, not even at exit
    const std::lock_guard lock(mutex);
    kept->push_back(std::move(object));
}

} // namespace

AudioEngine::AudioEngine()
    : m_output(std::make_unique<AudioOutput>())
{
    if (!m_output->open())
        return;
    m_rate = m_output->rate();
    m_blockFrames = m_output->blockFrames();
    m_player = std::make_unique<VoicePlayer>(m_rate, m_blockFrames);
    m_latencyNs = latencyFor(m_rate, m_blockFrames);
    m_output->start(*m_player);
    m_running = true;
    m_loader = std::thread(&AudioEngine::loaderLoop, this);
}

AudioEngine::~AudioEngine()
{
    if (!m_player)
        return;
    bool loaderDone = false;
    {
        std::unique_lock lock(m_mutex);
        m_stop = true;
        m_wake.notify_all();
        loaderDone = m_wake.wait_for(lock, std::chrono::milliseconds(kCloseMs), [this] { return m_loaderDone; });
    }
    if (!loaderDone) {
        // Stuck in the sound server (opening the device again): leave it.
        qCDebug(lcAudio) << "the loader did not stop in" << kCloseMs << "ms; left behind";
        m_loader.detach();
        keepForever(std::move(m_output));
        keepForever(std::move(m_player));
        return;
    }
    m_loader.join();
    if (m_output->close(std::chrono::milliseconds(kCloseMs))) {
        m_player.reset();
    } else {
        keepForever(std::move(m_output)); // its audio thread may still call the player
        keepForever(std::move(m_player));
    }
}

std::int64_t AudioEngine::latencyFor(int rate, int blockFrames)
{
    return 1'000'000'000LL * blockFrames / rate + 5'000'000;
}

std::int64_t AudioEngine::nowNs() const
{
    return m_player ? m_player->streamNs(monotonicNs()) : monotonicNs();
}

std::uint64_t AudioEngine::lateOnsets() const
{
    return m_player ? m_player->lateOnsets() : 0;
}

std::uint64_t AudioEngine::lateBlocks() const
{
    return m_player ? m_player->lateBlocks() : 0;
}

void AudioEngine::playSound(const std::string &samplePath, std::int64_t stampNs)
{
    if (!m_player)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(Request{samplePath, stampNs});
    }
    m_wake.notify_all();
}

void AudioEngine::watchOutput()
{
    if (const std::uint64_t late = m_player->lateBlocks(); late != m_lateBlocksSaid) {
        qCDebug(lcAudio) << "late output blocks:" << late << "(the sound may have dropped out)";
        m_lateBlocksSaid = late;
    }
    if (m_output->isRunning()) {
        m_running = true;
        return;
    }
    if (m_running.exchange(false))
        qCDebug(lcAudio) << "the device went away";
    const std::int64_t now = monotonicNs();
    if (now < m_nextReopenNs)
        return;
    m_nextReopenNs = now + std::int64_t(kReopenMs) * 1'000'000;
    if (!m_output->open())
        return;
    if (m_output->rate() != m_rate || m_output->blockFrames() != m_blockFrames) {
        qCDebug(lcAudio) << "the device came back at" << m_output->rate() << "Hz; not used";
        m_output->close(std::chrono::milliseconds(kCloseMs), false);
        return;
    }
    m_output->start(*m_player);
    m_running = true;
    m_reopens.fetch_add(1, std::memory_order_relaxed);
    qCDebug(lcAudio) << "the device was opened again";
}

void AudioEngine::loaderLoop()
{
    SampleCache cache(m_rate);
    std::unique_ptr<SampleIndex> index;
    const auto alert = AlertTone::make(m_rate);
    std::deque<Request> batch;

    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            // Wake up now and then to release what the audio thread is done
            // with and to look after the device.
            m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_stop || !m_queue.empty(); });
            if (m_stop) {
                m_loaderDone = true;
                m_wake.notify_all();
                return;
            }
            batch.swap(m_queue);
        }
        watchOutput();
        while (!batch.empty()) {
            const Request request = std::move(batch.front());
            batch.pop_front();
            const bool overtaken = !batch.empty() && request.stampNs + m_latencyNs < nowNs();
            if (overtaken || !m_running.load(std::memory_order_relaxed))
                continue;

            // The application folder is asked anew every time, as the
            // program may have been moved; its index is kept while it stays.
            const std::string folder = applicationFolder() + "/voc/";
            if (!index || index->folder() != folder)
                index = std::make_unique<SampleIndex>(folder);
            std::shared_ptr<const SampleBuffer> sound;
            if (const auto file = index->resolve(request.path))
                sound = cache.get(*file);
            if (!sound)
                sound = alert;

            auto playback = std::make_unique<Playback>();
            playback->sample = std::move(sound);
            playback->onsetNs = request.stampNs + m_latencyNs;
            m_player->submit(std::move(playback)); // handed back (and freed here) only if the queue is full
        }
        m_player->takeRetired(); // freed here, off the audio thread
    }
}
