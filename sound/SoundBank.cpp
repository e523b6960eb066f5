#include "sound/SoundBank.h"

#include "audio/AudioEngine.h"
#include "audio/AudioLog.h"
#include "sound/AlertTone.h"
#include "sound/ApplicationFolder.h"
#include "sound/SampleCache.h"
#include "sound/SampleIndex.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Request
{
    std::string name;
    std::int64_t stampNs;
};

} // namespace

struct SoundBank::State
{
    std::shared_ptr<AudioEngine> engine;
    std::function<std::string()> sampleFolder;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Request> queue;
    bool stop = false;
    bool done = false;
    std::thread thread;

    void loaderLoop();
};

std::string SoundBank::programSampleFolder()
{
    return applicationFolder() + "/voc/";
}

SoundBank::SoundBank(std::shared_ptr<AudioEngine> engine, std::function<std::string()> sampleFolder)
    : m_engine(std::move(engine))
    , m_state(std::make_unique<State>())
{
    m_state->engine = m_engine;
    m_state->sampleFolder = std::move(sampleFolder);
    if (m_engine->rate() > 0)
        m_state->thread = std::thread(&State::loaderLoop, m_state.get());
}

SoundBank::~SoundBank()
{
    State &s = *m_state;
    if (!s.thread.joinable())
        return;
    bool done = false;
    {
        std::unique_lock lock(s.mutex);
        s.stop = true;
        s.wake.notify_all();
        done = s.wake.wait_for(lock, std::chrono::milliseconds(AudioEngine::kCloseMs), [&s] { return s.done; });
    }
    if (done) {
        s.thread.join();
        return;
    }
    qCDebug(lcAudio) << "the sample loader did not stop in" << AudioEngine::kCloseMs << "ms; left behind";
    s.thread.detach();
    static std::mutex keptMutex;
    static auto *kept = new std::vector<std::unique_ptr<State>>; // never destroyed, not even at exit
    const std::lock_guard lock(keptMutex);
    kept->push_back(std::move(m_state));
}

std::int64_t SoundBank::nowNs() const
{
    return m_engine->nowNs();
}

void SoundBank::playSample(std::string_view name, std::int64_t stampNs)
{
    if (!m_engine->hasOutput())
        return;
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->queue.push_back(Request{std::string(name), stampNs});
    }
    m_state->wake.notify_all();
}

void SoundBank::State::loaderLoop()
{
    SampleCache cache(engine->rate());
    std::unique_ptr<SampleIndex> index;
    const auto alert = AlertTone::make(engine->rate());
    std::deque<Request> batch;

    for (;;) {
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stop || !queue.empty(); });
            if (stop) {
                done = true;
                wake.notify_all();
                return;
            }
            batch.swap(queue);
        }
        while (!batch.empty()) {
            const Request request = std::move(batch.front());
            batch.pop_front();
            const bool overtaken = !batch.empty() && request.stampNs + engine->latencyNs() < engine->nowNs();
            if (overtaken || !engine->hasOutput())
                continue;

            const std::string folder = sampleFolder();
            if (!index || index->folder() != folder)
                index = std::make_unique<SampleIndex>(folder);
            std::shared_ptr<const SampleBuffer> sound;
            if (const auto file = index->resolve(folder + request.name))
                sound = cache.get(*file);
            engine->play(sound ? std::move(sound) : alert, request.stampNs);
        }
    }
}
