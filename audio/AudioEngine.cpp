#include "audio/AudioEngine.h"

#include "audio/AudioLog.h"
#include "audio/FrameClock.h"
#include "audio/KeepForever.h"
#include "audio/MonotonicClock.h"
#include "audio/OutputChoice.h"
#include "audio/TimeLimits.h"
#include "audio/VoicePlayer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct AudioEngine::State
{
    std::unique_ptr<AudioOutput> output; // the engine thread's once it runs
    std::unique_ptr<VoicePlayer> player;
    int rate = 0;
    int blockFrames = 0;
    std::atomic<bool> running{false};
    std::atomic<std::uint64_t> reopens{0};

    // Engine thread only.
    std::int64_t nextReopenNs = 0;
    std::uint64_t lateBlocksSaid = 0;
    std::uint64_t stallsSaid = 0;
    std::uint64_t lateOnsetsSaid = 0;

    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool done = false;
    std::thread thread;

    void serviceLoop();
    void watchOutput();
};

AudioEngine::AudioEngine()
    : m_state(std::make_unique<State>())
{
    State &s = *m_state;
    // Opened on a helper thread: a sound server that does not answer must not
    // keep the window from appearing. Given up on after kOpenMs; what it
    // opens later is closed again there.
    auto output = std::make_shared<std::unique_ptr<AudioOutput>>();
    auto opened = std::make_shared<bool>(false);
    const bool answered = runWithin(
        std::chrono::milliseconds(kOpenMs),
        [output, opened] {
            *output = OutputChoice::choose();
            *opened = (*output)->open();
        },
        [output] { (*output)->close(std::chrono::milliseconds(kCloseMs)); });
    if (!answered) {
        qCDebug(lcAudio) << "the sound server did not answer in" << kOpenMs << "ms: no sound";
        return;
    }
    s.output = std::move(*output);
    if (!*opened) {
        qCDebug(lcAudio) << "no sound device: no sound";
        return;
    }
    m_rate = s.rate = s.output->rate();
    m_blockFrames = s.blockFrames = s.output->blockFrames();
    s.player = std::make_unique<VoicePlayer>(m_rate, m_blockFrames);
    m_latencyNs = latencyFor(m_rate, m_blockFrames, s.output->marginNs());
    s.output->start(*s.player);
    s.running = true;
    s.thread = std::thread(&State::serviceLoop, &s);
}

AudioEngine::~AudioEngine()
{
    State &s = *m_state;
    if (!s.player)
        return;
    if (!stopWorker(s, std::chrono::milliseconds(kCloseMs))) {
        // Stuck in the sound server (opening the device again): left behind,
        // with everything it may still touch.
        qCDebug(lcAudio) << "the engine thread did not stop in" << kCloseMs << "ms; left behind";
        keepForever(std::move(m_state));
        return;
    }
    if (s.output->close(std::chrono::milliseconds(kCloseMs))) {
        s.player->takeRetired();
        return;
    }
    keepForever(std::move(m_state)); // its audio thread may still call the player
}

std::int64_t AudioEngine::latencyFor(int rate, int blockFrames, std::int64_t marginNs)
{
    return 1'000'000'000LL * blockFrames / rate + marginNs;
}

std::int64_t AudioEngine::nowNs() const
{
    return m_state->player ? m_state->player->streamNs(monotonicNs()) : monotonicNs();
}

bool AudioEngine::hasOutput() const
{
    return m_state->running.load(std::memory_order_relaxed);
}

std::uint64_t AudioEngine::lateOnsets() const
{
    return m_state->player ? m_state->player->lateOnsets() : 0;
}

std::uint64_t AudioEngine::stalls() const
{
    return m_state->player ? m_state->player->stalls() : 0;
}

std::uint64_t AudioEngine::lateBlocks() const
{
    return m_state->player ? m_state->player->lateBlocks() : 0;
}

std::uint64_t AudioEngine::reopens() const
{
    return m_state->reopens.load(std::memory_order_relaxed);
}

void AudioEngine::play(std::shared_ptr<const SampleBuffer> sound, std::int64_t stampNs, bool step)
{
    if (!m_state->player || !hasOutput() || !sound)
        return;
    auto playback = std::make_unique<Playback>();
    playback->sample = std::move(sound);
    playback->onsetNs = stampNs + m_latencyNs;
    playback->kind = step ? Playback::Kind::Step : Playback::Kind::Sound;
    m_state->player->submit(std::move(playback)); // handed back (and freed here) only if the queue is full
}

void AudioEngine::withdrawSteps(std::int64_t fromNs)
{
    if (!m_state->player)
        return;
    auto playback = std::make_unique<Playback>();
    playback->onsetNs = fromNs + m_latencyNs;
    playback->kind = Playback::Kind::Withdraw;
    m_state->player->submit(std::move(playback)); // handed back (and freed here) only if the queue is full
}

void AudioEngine::State::watchOutput()
{
    if (const std::uint64_t late = player->lateBlocks(); late != lateBlocksSaid) {
        qCDebug(lcAudio) << "output blocks asked for later than the clock expected:" << late
                         << "(the server's bursts; not a dropout by itself)";
        lateBlocksSaid = late;
    }
    if (const std::uint64_t late = player->lateOnsets(); late != lateOnsetsSaid) {
        qCDebug(lcAudio) << "sounds that reached the voice after their time, started at once:" << late;
        lateOnsetsSaid = late;
    }
    if (const std::uint64_t stalls = player->stalls(); stalls != stallsSaid) {
        qCDebug(lcAudio) << "the output stalled for over" << FrameClock::kResetNs / 1'000'000
                         << "ms; the stream caught up with the clock (stalls:" << stalls << ")";
        stallsSaid = stalls;
    }
    if (const std::string change = output->service(); !change.empty())
        qCDebug(lcAudio) << change.c_str();
    if (output->isRunning()) {
        running = true;
        return;
    }
    if (running.exchange(false))
        qCDebug(lcAudio) << "the device went away";
    const std::int64_t now = monotonicNs();
    if (now < nextReopenNs)
        return;
    nextReopenNs = now + std::int64_t(kReopenMs) * 1'000'000;
    if (!output->open())
        return;
    if (output->rate() != rate) {
        qCDebug(lcAudio) << "the device came back at" << output->rate() << "Hz; not used";
        output->close(std::chrono::milliseconds(kCloseMs), false);
        return;
    }
    output->start(*player);
    running = true;
    reopens.fetch_add(1, std::memory_order_relaxed);
    qCDebug(lcAudio) << "the device was opened again:" << output->describe().c_str();
}

void AudioEngine::State::serviceLoop()
{
    for (;;) {
        {
            std::unique_lock lock(mutex);
            wake.wait_for(lock, std::chrono::milliseconds(kServiceMs), [this] { return stop; });
            if (stop) {
                done = true;
                wake.notify_all();
                return;
            }
        }
        watchOutput();
        player->takeRetired(); // freed here, off the audio thread
    }
}
