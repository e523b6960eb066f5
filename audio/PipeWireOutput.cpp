#include "audio/PipeWireOutput.h"

#include "audio/AudioLog.h"
#include "audio/MonotonicClock.h"
#include "audio/TimeLimits.h"
#include "audio/VoicePlayer.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr std::size_t kFrameBytes = 2 * sizeof(float);

void initPipeWire()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

} // namespace

struct PipeWireOutput::Hooks
{
    pw_stream_events events = {};
    spa_hook listener = {};
};

bool PipeWireOutput::serverAnswers()
{
    const char *dir = std::getenv("PIPEWIRE_RUNTIME_DIR");
    if (!dir || !*dir)
        dir = std::getenv("XDG_RUNTIME_DIR");
    const char *remote = std::getenv("PIPEWIRE_REMOTE");
    if (!dir || !*dir)
        return false;
    const std::string path = std::string(dir) + "/" + (remote && *remote ? remote : "pipewire-0");
    sockaddr_un address = {};
    if (path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

PipeWireOutput::PipeWireOutput()
    : m_hooks(std::make_unique<Hooks>())
{
    m_hooks->events.version = PW_VERSION_STREAM_EVENTS;
    m_hooks->events.process = &PipeWireOutput::process;
    m_hooks->events.state_changed = [](void *self, pw_stream_state oldState, pw_stream_state state, const char *error) {
        stateChanged(self, int(oldState), int(state), error);
    };
}

PipeWireOutput::~PipeWireOutput()
{
    closeNow();
}

bool PipeWireOutput::open()
{
    closeNow();
    initPipeWire();
    m_failed = false;
    m_period = 0;
    m_ticksKnown = false;
    m_loop = pw_thread_loop_new("tamvolo-pipewire", nullptr);
    if (!m_loop)
        return false;
    pw_properties *props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE, "Music",
                          PW_KEY_APP_NAME, "Tamvolo", PW_KEY_NODE_NAME, "Tamvolo", nullptr);
    pw_properties_setf(props, PW_KEY_NODE_LATENCY, "%d/%d", kWantedFrames, kPreferredRate);
    pw_thread_loop_lock(m_loop);
    m_stream = pw_stream_new_simple(pw_thread_loop_get_loop(m_loop), "Tamvolo", props, &m_hooks->events, this);
    bool ok = m_stream != nullptr;
    if (ok) {
        std::uint8_t buffer[1024];
        spa_pod_builder builder = {};
        spa_pod_builder_init(&builder, buffer, sizeof buffer);
        spa_audio_info_raw info = {};
        info.format = SPA_AUDIO_FORMAT_F32;
        info.rate = kPreferredRate;
        info.channels = 2;
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
        const spa_pod *params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
        ok = pw_stream_connect(
                 m_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                 pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS),
                 params, 1) >= 0;
    }
    pw_thread_loop_unlock(m_loop);
    ok = ok && pw_thread_loop_start(m_loop) >= 0;
    // Open once the graph has run a cycle through us: its quantum is then known.
    const std::int64_t deadline = monotonicNs() + std::int64_t(kOpenMs) * 1'000'000;
    while (ok && m_period.load(std::memory_order_acquire) == 0 && !m_failed && monotonicNs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!ok || m_period.load(std::memory_order_acquire) == 0) {
        qCDebug(lcAudio) << "PipeWire: no stream (the server did not answer, or has no sink)";
        closeNow();
        return false;
    }
    m_quantumSaid = m_period;
    qCDebug(lcAudio) << "opened" << describe().c_str();
    return true;
}

void PipeWireOutput::start(VoicePlayer &player)
{
    m_player.store(&player, std::memory_order_release);
}

void PipeWireOutput::closeNow()
{
    if (m_loop)
        pw_thread_loop_stop(m_loop); // no callback runs after this
    if (m_stream) {
        pw_stream_destroy(m_stream);
        m_stream = nullptr;
    }
    if (m_loop) {
        pw_thread_loop_destroy(m_loop);
        m_loop = nullptr;
    }
    m_player.store(nullptr, std::memory_order_release);
}

bool PipeWireOutput::close(std::chrono::milliseconds limit, bool)
{
    if (!m_loop)
        return true;
    const bool closed = runWithin(limit, [this] { closeNow(); });
    if (!closed)
        qCDebug(lcAudio) << "PipeWire: the stream did not close in" << limit.count() << "ms; left behind";
    return closed;
}

bool PipeWireOutput::isRunning() const
{
    return m_stream && !m_failed.load(std::memory_order_relaxed);
}

std::string PipeWireOutput::describe() const
{
    const int period = m_period.load(std::memory_order_acquire);
    std::string text = "PipeWire's own stream at " + std::to_string(kPreferredRate) + " Hz, a quantum of " +
        std::to_string(period) + " frames";
    if (period > kWantedFrames)
        text += " (asked for " + std::to_string(kWantedFrames) + "; the graph allows no less)";
    return text;
}

std::string PipeWireOutput::service()
{
    std::string said;
    if (const std::uint64_t holes = m_holes.load(std::memory_order_relaxed); holes != m_holesSaid) {
        m_holesSaid = holes;
        said = "PipeWire: the graph played a hole where our frames were due (" + std::to_string(holes) +
            " so far); what follows keeps its place";
    }
    const int quantum = m_lastQuantum.load(std::memory_order_relaxed);
    if (quantum != 0 && quantum != m_quantumSaid) {
        m_quantumSaid = quantum;
        said += (said.empty() ? "" : "; ") + std::string("PipeWire: the graph's quantum is now ") +
            std::to_string(quantum) + " frames";
    }
    return said;
}

void PipeWireOutput::stateChanged(void *self, int, int state, const char *)
{
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)
        static_cast<PipeWireOutput *>(self)->m_failed.store(true, std::memory_order_relaxed);
}

std::int64_t PipeWireOutput::lostFrames(std::int64_t frames)
{
    // The graph's clock moves on by a quantum between our cycles; when it
    // moved on by more, it ran cycles without us, and played a hole. (After
    // a hole the graph may ask twice in one cycle to fill its queue again;
    // the clock has then not moved, and nothing more is lost.) A jump of a
    // cycle or two is as often the graph's own hiccup (its driver woke late,
    // and what it plays lost nothing of ours) as a cycle of ours lost: only
    // a loss of kFollowFrames or more is followed.
    pw_time time = {};
    if (pw_stream_get_time_n(m_stream, &time, sizeof time) < 0 || time.rate.denom == 0 || time.rate.num == 0)
        return 0;
    const std::int64_t ticks =
        std::int64_t(time.ticks) * kPreferredRate * std::int64_t(time.rate.num) / std::int64_t(time.rate.denom);
    const std::int64_t moved = ticks - m_lastTicks;
    const bool known = m_ticksKnown;
    m_ticksKnown = true;
    m_lastTicks = ticks;
    const std::int64_t lost = moved - std::exchange(m_lastFrames, frames);
    return known && lost >= std::max<std::int64_t>(kFollowFrames, frames / 2) ? lost : 0;
}

void PipeWireOutput::process(void *self)
{
    auto *output = static_cast<PipeWireOutput *>(self);
    askForRealtimeOnce(output->m_realtimeAsked);
    pw_buffer *buffer = pw_stream_dequeue_buffer(output->m_stream);
    if (!buffer)
        return;
    spa_data &data = buffer->buffer->datas[0];
    if (!data.data) {
        pw_stream_queue_buffer(output->m_stream, buffer);
        return;
    }
    const auto room = std::uint64_t(data.maxsize / kFrameBytes);
    std::uint64_t frames = buffer->requested ? buffer->requested : std::uint64_t(kWantedFrames);
    if (frames > room) {
        output->m_short.fetch_add(1, std::memory_order_relaxed);
        frames = room;
    }
    int expected = 0;
    output->m_period.compare_exchange_strong(expected, int(frames), std::memory_order_acq_rel);
    output->m_lastQuantum.store(int(frames), std::memory_order_relaxed);
    auto *out = static_cast<float *>(data.data);
    VoicePlayer *player = output->m_player.load(std::memory_order_acquire);
    if (const std::int64_t lost = output->lostFrames(std::int64_t(frames)); lost > 0) {
        output->m_holes.fetch_add(1, std::memory_order_relaxed);
        if (player)
            player->skip(lost);
    }
    if (player)
        player->render(out, int(frames), monotonicNs());
    else
        std::memset(out, 0, std::size_t(frames) * kFrameBytes);
    data.chunk->offset = 0;
    data.chunk->stride = int32_t(kFrameBytes);
    data.chunk->size = std::uint32_t(std::size_t(frames) * kFrameBytes);
    pw_stream_queue_buffer(output->m_stream, buffer);
}
