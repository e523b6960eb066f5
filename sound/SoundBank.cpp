#include "sound/SoundBank.h"

#include "audio/AudioEngine.h"
#include "audio/core/AudioLog.h"
#include "audio/core/KeepForever.h"
#include "audio/core/Worker.h"
#include "keys/PadTable.h"
#include "sound/SampleService.h"
#include "sound/WavLoader.h"

#include <algorithm>

#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

namespace {

struct Request
{
    enum class Kind { Key, Step, Wav, Withdraw, Stop };
    Kind kind;
    std::string name;
    std::int64_t stampNs;
    std::string wav; // the sound itself, for Kind::Wav
};

} // namespace

struct SoundBank::State : Worker
{
    std::shared_ptr<AudioEngine> engine;
    std::shared_ptr<SampleService> samples;

    std::deque<Request> queue; // under the worker's mutex

    void push(Request request);

    void loaderLoop();
};

SoundBank::SoundBank(std::shared_ptr<AudioEngine> engine, std::function<std::vector<std::string>()> sampleFolders)
    : m_engine(std::move(engine))
    , m_state(std::make_unique<State>())
{
    m_state->engine = m_engine;
    m_state->samples = std::make_shared<SampleService>(m_engine->rate(), std::move(sampleFolders));
    m_state->start([state = m_state.get()] { state->loaderLoop(); });
}

SoundBank::~SoundBank()
{
    if (m_state->stopWithin(std::chrono::milliseconds(AudioEngine::kCloseMs)))
        return;
    qCDebug(lcAudio) << "the sample loader did not stop in" << AudioEngine::kCloseMs << "ms; left behind";
    keepForever(std::move(m_state));
}

std::shared_ptr<SampleService> SoundBank::samples() const
{
    return m_state->samples;
}

std::int64_t SoundBank::nowNs() const
{
    return m_engine->nowNs();
}

std::int64_t SoundBank::aheadNs() const
{
    // The engine's block and lead, and the loader's turn.
    return m_engine->askAheadNs() + kLoaderNs;
}

void SoundBank::State::push(Request request)
{
    if (!engine->hasOutput())
        return;
    {
        const std::lock_guard lock(mutex);
        queue.push_back(std::move(request));
    }
    wake.notify_all();
}

void SoundBank::playSample(std::string_view name, std::int64_t stampNs)
{
    m_state->push(Request{Request::Kind::Key, std::string(name), stampNs, {}});
}

void SoundBank::playStep(std::string_view name, std::int64_t stampNs)
{
    m_state->push(Request{Request::Kind::Step, std::string(name), stampNs, {}});
}

void SoundBank::withdrawSteps(std::int64_t fromNs)
{
    m_state->push(Request{Request::Kind::Withdraw, {}, fromNs, {}});
}

void SoundBank::playWav(std::string wav)
{
    m_state->push(Request{Request::Kind::Wav, {}, m_engine->nowNs(), std::move(wav)});
}

void SoundBank::stopVoice()
{
    m_state->push(Request{Request::Kind::Stop, {}, m_engine->nowNs(), {}});
}

namespace {

// The kit's file names, each once.
std::vector<std::string> kitNames()
{
    std::vector<std::string> names;
    for (const PadTable::Row &row : PadTable::rows())
        if (std::find(names.begin(), names.end(), row.file) == names.end())
            names.emplace_back(row.file);
    return names;
}

} // namespace

void SoundBank::State::loaderLoop()
{
    std::deque<Request> batch;
    const std::vector<std::string> kit = kitNames();
    std::size_t preloaded = 0;

    for (;;) {
        {
            std::unique_lock lock(mutex);
            // Between requests, the kit's next file is loaded before its
            // first press; once all are, they are looked at again every
            // kPreloadEveryMs, for the user's files as they come and change.
            if (preloaded >= kit.size() && !wake.wait_for(lock, std::chrono::milliseconds(kPreloadEveryMs), [this] {
                    return stop || !queue.empty();
                })) {
                preloaded = 0;
            }
            if (stop)
                return;
            batch.swap(queue);
        }
        if (batch.empty()) {
            samples->find(kit[preloaded++]);
            continue;
        }
        while (!batch.empty()) {
            const Request request = std::move(batch.front());
            batch.pop_front();
            if (request.kind == Request::Kind::Withdraw) {
                engine->withdrawSteps(request.stampNs);
                continue;
            }
            const bool overtaken = !batch.empty() && request.stampNs + engine->latencyNs() < engine->nowNs();
            if (overtaken || !engine->hasOutput())
                continue;

            if (request.kind == Request::Kind::Stop) {
                // A frame of silence cuts what the voice plays, as any sound does.
                static const auto silence =
                    std::make_shared<const SampleBuffer>(SampleBuffer{1, std::vector<float>(1, 0.0f)});
                engine->play(silence, request.stampNs);
            } else if (request.kind == Request::Kind::Wav) {
                auto sound = WavLoader::decode(request.wav.data(), request.wav.size(), engine->rate());
                engine->play(sound ? std::move(sound) : samples->alert(), request.stampNs);
            } else {
                engine->play(samples->find(request.name), request.stampNs, request.kind == Request::Kind::Step);
            }
        }
    }
}
