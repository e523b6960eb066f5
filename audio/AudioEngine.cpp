#include "audio/AudioEngine.h"

#include "audio/core/AudioLog.h"
#include "audio/core/FrameClock.h"
#include "audio/core/KeepForever.h"
#include "audio/core/MidiHub.h"
#include "audio/core/MonotonicClock.h"
#include "audio/core/VoicePlayer.h"
#include "audio/core/Worker.h"
#include "audio/outputs/AudioOutput.h"
#include "audio/outputs/OutputChoice.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

struct AudioEngine::State : Worker
{
    VoicePlayer player{AudioOutput::kRate};
    std::shared_ptr<MidiHub> hub = std::make_shared<MidiHub>();
    std::atomic<bool> running{false};
    std::atomic<std::int64_t> marginNs{3'000'000};
    std::atomic<std::uint64_t> reopens{0};

    // Engine thread only.
    std::unique_ptr<AudioOutput> output;
    bool everOpened = false;
    std::int64_t nextOpenNs = 0;
    std::int64_t nextSdlNs = 0;
    std::int64_t nextPipeWireNs = 0;
    std::string whyNoneSaid;
    std::uint64_t callbacksSeen = 0;
    std::uint64_t callbacksAtStart = 0;
    std::int64_t callbacksMovedNs = 0;
    std::int64_t lastWakeNs = 0;
    std::uint64_t lateBlocksSaid = 0;
    std::uint64_t stallsSaid = 0;
    std::uint64_t lateOnsetsSaid = 0;
    std::uint64_t staleSaid = 0;

    mutable std::condition_variable changed; // waiters on `running`, under the worker's mutex

    void serviceLoop();
    void tryOpen(std::int64_t now);
    void watch(std::int64_t now);
    void lose(const char *why);
    void moveToPipeWire(std::int64_t now);
    void startOutput();
    void waitUntilQuiet() const;
    void setRunning(bool value);
};

AudioEngine::AudioEngine()
    : m_state(std::make_unique<State>())
{
    m_state->start([state = m_state.get()] { state->serviceLoop(); });
}

AudioEngine::~AudioEngine()
{
    State &s = *m_state;
    if (hasOutput()) {
        s.player.fadeOutForClose();
        s.waitUntilQuiet();
    }
    if (!s.stopWithin(std::chrono::milliseconds(kCloseMs))) {
        // Stuck in a sound server (opening the output): left behind, with
        // everything it may still touch.
        qCDebug(lcAudio) << "the engine thread did not stop in" << kCloseMs << "ms; left behind";
        keepForever(std::move(m_state));
        return;
    }
    if (s.output && !s.output->close(std::chrono::milliseconds(kCloseMs))) {
        // Its audio thread may still run, and may still be rendering the
        // player: both are left behind, never freed under it.
        keepForever(std::move(m_state));
        return;
    }
    s.player.takeRetired();
}

std::int64_t AudioEngine::nowNs() const
{
    return m_state->player.streamNs(monotonicNs());
}

std::int64_t AudioEngine::streamNsAt(std::int64_t monotonic) const
{
    return m_state->player.streamNsAtGraph(monotonic);
}

std::int64_t AudioEngine::hitLatencyNs() const
{
    const VoicePlayer &player = m_state->player;
    return player.nsFor(player.blockFrames()) + kHitMarginNs;
}

std::shared_ptr<MidiHub> AudioEngine::midiHub() const
{
    return m_state->hub;
}

bool AudioEngine::hasOutput() const
{
    return m_state->running.load(std::memory_order_relaxed);
}

bool AudioEngine::waitForOutput(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, limit, [this] { return hasOutput(); });
}

int AudioEngine::rate() const
{
    return AudioOutput::kRate;
}

std::int64_t AudioEngine::latencyNs() const
{
    const VoicePlayer &player = m_state->player;
    return player.nsFor(player.blockFrames()) + m_state->marginNs.load(std::memory_order_relaxed);
}

std::int64_t AudioEngine::askAheadNs() const
{
    const VoicePlayer &player = m_state->player;
    return player.nsFor(player.blockFrames()) + latencyNs();
}

std::uint64_t AudioEngine::lateOnsets() const
{
    return m_state->player.lateOnsets();
}

std::uint64_t AudioEngine::stalls() const
{
    return m_state->player.stalls();
}

std::uint64_t AudioEngine::lateBlocks() const
{
    return m_state->player.lateBlocks();
}

std::uint64_t AudioEngine::reopens() const
{
    return m_state->reopens.load(std::memory_order_relaxed);
}

void AudioEngine::play(std::shared_ptr<const SampleBuffer> sound, std::int64_t stampNs, bool step)
{
    if (!hasOutput() || !sound)
        return;
    std::int64_t lead = latencyNs();
    if (step) {
        // A loop's first step sets its lead.
        if (!m_stepsBefore || stampNs - m_lastStepNs > kNewLoopNs || stampNs < m_lastStepNs - kNewLoopNs)
            m_stepLeadNs = lead;
        m_stepsBefore = true;
        m_lastStepNs = stampNs;
        lead = m_stepLeadNs;
    }
    auto playback = std::make_unique<Playback>();
    playback->sample = std::move(sound);
    playback->onsetNs = stampNs + lead;
    playback->kind = step ? Playback::Kind::Step : Playback::Kind::Sound;
    m_state->player.submit(std::move(playback)); // handed back (and freed here) only if the queue is full
}

void AudioEngine::playHit(const Playback &sound, std::int64_t stampNs)
{
    if (!hasOutput() || !sound.sample)
        return;
    auto hit = std::make_unique<Playback>(sound);
    hit->onsetNs = stampNs + hitLatencyNs();
    hit->kind = Playback::Kind::Hit;
    m_state->player.submitHit(std::move(hit)); // handed back (and freed here) only if the queue is full
}

void AudioEngine::withdrawSteps(std::int64_t fromNs)
{
    auto playback = std::make_unique<Playback>();
    playback->onsetNs = fromNs + (m_stepsBefore ? m_stepLeadNs : latencyNs());
    playback->kind = Playback::Kind::Withdraw;
    m_state->player.submit(std::move(playback)); // handed back (and freed here) only if the queue is full
}

void AudioEngine::State::setRunning(bool value)
{
    {
        const std::lock_guard lock(mutex);
        running = value;
    }
    changed.notify_all();
}

void AudioEngine::State::tryOpen(std::int64_t now)
{
    if (now < nextOpenNs)
        return;
    nextOpenNs = now + std::int64_t(kReopenMs) * 1'000'000;
    const bool trySdl = now >= nextSdlNs;
    if (trySdl)
        nextSdlNs = now + std::int64_t(kSdlRetryMs) * 1'000'000;
    OutputChoice::Attempt attempt = OutputChoice::open(trySdl, *hub);
    if (!attempt.output) {
        if (attempt.why != whyNoneSaid)
            qCDebug(lcAudio) << "no sound yet:" << attempt.why.c_str() << "(tried again every" << kReopenMs << "ms)";
        whyNoneSaid = attempt.why;
        return;
    }
    whyNoneSaid.clear();
    output = std::move(attempt.output);
    qCDebug(lcAudio) << (everOpened ? "the output was opened again:" : "output chosen:") << output->name() << "("
                     << attempt.why.c_str() << ")";
    startOutput();
    if (everOpened)
        reopens.fetch_add(1, std::memory_order_relaxed);
    everOpened = true;
    setRunning(true);
}

void AudioEngine::State::startOutput()
{
    marginNs = output->marginNs();
    output->start(player);
    callbacksSeen = callbacksAtStart = output->callbacks();
    callbacksMovedNs = monotonicNs();
}

void AudioEngine::State::waitUntilQuiet() const
{
    // Silence rendered for long enough that the server's queue has played
    // out what sounded, or the limit.
    const std::int64_t quiet = player.framesFor(std::int64_t(kCloseQuietMs) * 1'000'000);
    const std::int64_t limit = monotonicNs() + std::int64_t(kCloseFadeLimitMs) * 1'000'000;
    while (player.framesQuiet() < quiet && monotonicNs() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void AudioEngine::State::lose(const char *why)
{
    qCDebug(lcAudio) << why;
    setRunning(false);
    if (!output->close(std::chrono::milliseconds(kCloseMs)))
        keepForever(std::move(output));
    output.reset();
    nextOpenNs = 0;
}

void AudioEngine::State::moveToPipeWire(std::int64_t now)
{
    if (now < nextPipeWireNs || !OutputChoice::pipeWireWouldServeBetter(*output))
        return;
    nextPipeWireNs = now + std::int64_t(kPipeWireLookMs) * 1'000'000;
    std::unique_ptr<AudioOutput> better = OutputChoice::openPipeWire(*hub);
    if (!better)
        return;
    // Handed over without a click: the mix fades out, the old output plays
    // out what its server holds, and the new one starts with the mix fading
    // in, the sounds where they have got to (a loop keeps its grid).
    qCDebug(lcAudio) << "PipeWire's graph can play now: the output moves to it from" << output->name();
    player.hush(true);
    waitUntilQuiet();
    if (!output->close(std::chrono::milliseconds(kCloseMs)))
        keepForever(std::move(output));
    output = std::move(better);
    startOutput();
    player.hush(false);
}

void AudioEngine::State::watch(std::int64_t now)
{
    if (const std::uint64_t late = player.lateBlocks(); late != lateBlocksSaid) {
        qCDebug(lcAudio) << "output blocks asked for later than the clock expected:" << late
                         << "(the server's bursts; not a dropout by itself)";
        lateBlocksSaid = late;
    }
    if (const std::uint64_t late = player.lateOnsets(); late != lateOnsetsSaid) {
        qCDebug(lcAudio) << "sounds that reached the voice after their time, started at once:" << late;
        lateOnsetsSaid = late;
    }
    if (const std::uint64_t stale = player.staleDropped(); stale != staleSaid) {
        qCDebug(lcAudio) << "sounds dropped, their moment long past (queued while the output was held up):" << stale;
        staleSaid = stale;
    }
    if (const std::uint64_t stalls = player.stalls(); stalls != stallsSaid) {
        qCDebug(lcAudio) << "the output went unserviced for over" << FrameClock::kResetNs / 1'000'000 << "ms ("
                         << stalls << "times so far)"
                         << (output->followsHoles() ? "; what follows keeps its place"
                                                    : "; the stream caught up with the clock");
        stallsSaid = stalls;
    }
    for (const std::string &line : output->report())
        qCDebug(lcAudio) << line.c_str();

    // An engine thread that was held up itself judges the callbacks afresh.
    if (now - lastWakeNs > 3 * std::int64_t(kServiceMs) * 1'000'000)
        callbacksMovedNs = now;
    if (const std::uint64_t calls = output->callbacks(); calls != callbacksSeen) {
        callbacksSeen = calls;
        callbacksMovedNs = now;
    }
    // A sink that slept may take a while to ask for the first block.
    const std::int64_t limitMs = callbacksSeen == callbacksAtStart ? kFirstBlockMs : kUnservicedMs;
    if (!output->isRunning())
        lose("the device went away");
    else if (now - callbacksMovedNs > limitMs * 1'000'000)
        lose("the stream has not been serviced for a second (a frozen server, or no links): opened again when a "
             "server answers");
}

void AudioEngine::State::serviceLoop()
{
    for (;;) {
        const std::int64_t now = monotonicNs();
        if (output)
            watch(now);
        else
            tryOpen(now);
        if (output)
            moveToPipeWire(now);
        lastWakeNs = monotonicNs();
        player.takeRetired(); // freed here, off the audio thread
        hub->refill();
        if (waitOrStop(std::chrono::milliseconds(kServiceMs)))
            return;
    }
}
