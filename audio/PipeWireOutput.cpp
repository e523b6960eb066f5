#include "audio/PipeWireOutput.h"

#include "audio/AudioLog.h"
#include "audio/MonotonicClock.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

void initPipeWire()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

} // namespace

struct PipeWireOutput::Hooks
{
    pw_core_events coreEvents = {};
    pw_registry_events registryEvents = {};
    pw_stream_events streamEvents = {};
    spa_hook core = {};
    spa_hook registry = {};
    spa_hook stream = {};
};

std::string PipeWireOutput::socketPath()
{
    const char *remote = std::getenv("PIPEWIRE_REMOTE");
    if (remote && remote[0] == '/')
        return remote;
    const char *dir = std::getenv("PIPEWIRE_RUNTIME_DIR");
    if (!dir || !*dir)
        dir = std::getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir)
        return {};
    return std::string(dir) + "/" + (remote && *remote ? remote : "pipewire-0");
}

bool PipeWireOutput::serverAnswers()
{
    const std::string path = socketPath();
    sockaddr_un address = {};
    if (path.empty() || path.size() >= sizeof address.sun_path)
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
    Hooks &h = *m_hooks;
    h.coreEvents.version = PW_VERSION_CORE_EVENTS;
    h.coreEvents.done = [](void *self, uint32_t id, int seq) {
        auto *output = static_cast<PipeWireOutput *>(self);
        if (id == PW_ID_CORE && seq == output->m_syncSeq) {
            output->m_synced = true;
            pw_thread_loop_signal(output->m_loop, false);
        }
    };
    h.coreEvents.error = [](void *self, uint32_t id, int, int res, const char *) {
        auto *output = static_cast<PipeWireOutput *>(self);
        if (id == PW_ID_CORE && res == -EPIPE) {
            output->m_coreFailed = true;
            output->fail();
            pw_thread_loop_signal(output->m_loop, false);
        }
    };
    h.registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    h.registryEvents.global = [](void *self, uint32_t, uint32_t, const char *type, uint32_t, const spa_dict *props) {
        auto *output = static_cast<PipeWireOutput *>(self);
        if (!props || !type)
            return;
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            const char *kind = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
            if (kind && std::strcmp(kind, "Audio/Sink") == 0)
                output->m_sinkSeen = true;
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
            const char *metadata = spa_dict_lookup(props, PW_KEY_METADATA_NAME);
            if (metadata && std::strcmp(metadata, "default") == 0)
                output->m_sessionManager = true;
        }
    };
    h.streamEvents.version = PW_VERSION_STREAM_EVENTS;
    h.streamEvents.process = &PipeWireOutput::process;
    h.streamEvents.state_changed = [](void *self, pw_stream_state oldState, pw_stream_state state, const char *error) {
        stateChanged(self, int(oldState), int(state), error);
    };
}

PipeWireOutput::~PipeWireOutput()
{
    closeNow();
}

template <typename Ready> bool PipeWireOutput::waitUntil(std::int64_t deadlineNs, Ready ready)
{
    while (!ready() && !m_coreFailed) {
        const std::int64_t left = deadlineNs - monotonicNs();
        if (left <= 0)
            return false;
        timespec until{};
        pw_thread_loop_get_time(m_loop, &until, left);
        pw_thread_loop_timed_wait_full(m_loop, &until);
    }
    return ready();
}

bool PipeWireOutput::connectCore(std::int64_t deadlineNs)
{
    m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
    if (!m_context)
        return false;
    m_core = pw_context_connect(m_context, nullptr, 0);
    if (!m_core)
        return false;
    pw_core_add_listener(m_core, &m_hooks->core, &m_hooks->coreEvents, this);
    m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
    if (!m_registry)
        return false;
    pw_registry_add_listener(m_registry, &m_hooks->registry, &m_hooks->registryEvents, this);
    m_syncSeq = pw_core_sync(m_core, PW_ID_CORE, 0);
    return waitUntil(deadlineNs, [this] { return m_synced; });
}

bool PipeWireOutput::connectStream(std::int64_t deadlineNs)
{
    pw_properties *props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                             PW_KEY_MEDIA_ROLE, "Music", PW_KEY_APP_NAME, "Tamvolo", PW_KEY_NODE_NAME,
                                             "Tamvolo", PW_KEY_NODE_GROUP, kNodeGroup, nullptr);
    const std::string latency = std::to_string(kWantedFrames) + "/" + std::to_string(kRate);
    pw_properties_set(props, PW_KEY_NODE_LATENCY, latency.c_str());
    m_stream = pw_stream_new(m_core, "Tamvolo", props);
    if (!m_stream)
        return false;
    // PIPEWIRE_LATENCY, set for other programs, would replace ours.
    if (const char *set = std::getenv("PIPEWIRE_LATENCY"); set && latency != set) {
        m_latencyEnvironment = set;
        const spa_dict_item item = SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, latency.c_str());
        const spa_dict dict = SPA_DICT_INIT(&item, 1);
        pw_stream_update_properties(m_stream, &dict);
    }
    pw_stream_add_listener(m_stream, &m_hooks->stream, &m_hooks->streamEvents, this);

    std::uint8_t buffer[1024];
    spa_pod_builder builder = {};
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    spa_audio_info_raw info = {};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = kRate;
    info.channels = kChannels;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod *params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    if (pw_stream_connect(
            m_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
            pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS),
            params, 1) < 0) {
        return false;
    }
    return waitUntil(deadlineNs, [this] { return m_streaming; });
}

bool PipeWireOutput::open()
{
    closeNow();
    if (!serverAnswers())
        return cannotOpen("no server answers at " + (socketPath().empty() ? "(no runtime folder)" : socketPath()));
    initPipeWire();
    clearFailed();
    m_holes.restart();
    m_sinkSeen = m_sessionManager = m_synced = m_streaming = m_coreFailed = false;
    m_latencyEnvironment.clear();
    const std::int64_t deadline = monotonicNs() + std::int64_t(kOpenMs) * 1'000'000;
    m_loop = pw_thread_loop_new("tamvolo-pipewire", nullptr);
    if (!m_loop || pw_thread_loop_start(m_loop) < 0)
        return cannotOpen("no thread loop");
    pw_thread_loop_lock(m_loop);
    const char *why = nullptr;
    if (!connectCore(deadline))
        why = "the server did not answer";
    else if (!m_sinkSeen)
        why = "its graph has no audio sink";
    else if (!m_sessionManager)
        why = "no session manager runs yet to link a stream";
    else if (!connectStream(deadline))
        why = "the stream was not linked in time";
    pw_thread_loop_unlock(m_loop);
    if (why)
        return cannotOpen(why);
    if (!m_latencyEnvironment.empty())
        qCDebug(lcAudio) << "PipeWire: PIPEWIRE_LATENCY" << m_latencyEnvironment.c_str()
                         << "is for other programs; this stream asks for" << kWantedFrames << "frames";
    qCDebug(lcAudio) << "opened" << describe().c_str();
    return true;
}

void PipeWireOutput::closeNow()
{
    if (m_loop)
        pw_thread_loop_stop(m_loop); // no callback runs after this
    if (m_stream) {
        spa_hook_remove(&m_hooks->stream);
        pw_stream_destroy(m_stream);
        m_stream = nullptr;
    }
    if (m_registry) {
        spa_hook_remove(&m_hooks->registry);
        pw_proxy_destroy(reinterpret_cast<pw_proxy *>(m_registry));
        m_registry = nullptr;
    }
    if (m_core) {
        spa_hook_remove(&m_hooks->core);
        pw_core_disconnect(m_core);
        m_core = nullptr;
    }
    if (m_context) {
        pw_context_destroy(m_context);
        m_context = nullptr;
    }
    if (m_loop) {
        pw_thread_loop_destroy(m_loop);
        m_loop = nullptr;
    }
}

std::string PipeWireOutput::describe() const
{
    return "PipeWire's own stream at " + std::to_string(kRate) + " Hz, asking the graph for a quantum of " +
        std::to_string(kWantedFrames) + " frames";
}

void PipeWireOutput::reportOwn(std::vector<std::string> &lines)
{
    const int quantum = m_holes.graphQuantum();
    const int rate = m_holes.graphRate();
    if (quantum != 0 && (quantum != m_quantumSaid || rate != m_rateSaid)) {
        std::string line = "PipeWire: the graph runs at a quantum of " + std::to_string(quantum) + " frames at " +
            std::to_string(rate) + " Hz";
        if (m_quantumSaid == 0 && quantum > kWantedFrames)
            line += " (asked for " + std::to_string(kWantedFrames) + "; the graph allows no less)";
        else if (m_quantumSaid != 0)
            line += " now; every sound keeps its frame";
        lines.push_back(line);
        m_quantumSaid = quantum;
        m_rateSaid = rate;
    }
    if (const std::uint64_t holes = m_holes.holes(); holes != m_holesSaid) {
        m_holesSaid = holes;
        lines.push_back("PipeWire: the graph played a hole where our frames were due (" + std::to_string(holes) +
                        " so far, " + std::to_string(m_holes.framesSkipped()) +
                        " frames); what follows keeps its place");
    }
    if (const std::uint64_t dropped = m_holes.framesDropped(); dropped != m_droppedSaid) {
        m_droppedSaid = dropped;
        lines.push_back("PipeWire: the graph dropped frames given for a larger quantum (" + std::to_string(dropped) +
                        " so far); they are played again");
    }
    if (const std::uint64_t lost = m_linksLost.load(std::memory_order_relaxed); lost != m_linksLostSaid) {
        m_linksLostSaid = lost;
        lines.emplace_back("PipeWire: the graph paused the stream (it changes its rate, or the stream lost its "
                           "links): silent until it runs again");
    }
    if (const std::uint64_t found = m_linksFound.load(std::memory_order_relaxed); found != m_linksFoundSaid) {
        m_linksFoundSaid = found;
        lines.emplace_back("PipeWire: the stream runs again");
    }
}

void PipeWireOutput::stateChanged(void *self, int, int state, const char *)
{
    auto *output = static_cast<PipeWireOutput *>(self);
    switch (state) {
    case PW_STREAM_STATE_ERROR:
    case PW_STREAM_STATE_UNCONNECTED:
        output->fail();
        break;
    case PW_STREAM_STATE_STREAMING:
        if (output->m_linksLost.load(std::memory_order_relaxed) >
            output->m_linksFound.load(std::memory_order_relaxed)) {
            output->m_linksFound.fetch_add(1, std::memory_order_relaxed);
            output->m_resumed.store(true, std::memory_order_release);
        }
        output->m_streaming = true;
        break;
    case PW_STREAM_STATE_PAUSED:
        if (output->m_streaming)
            output->m_linksLost.fetch_add(1, std::memory_order_relaxed);
        output->m_streaming = false;
        break;
    default:
        break;
    }
    pw_thread_loop_signal(output->m_loop, false);
}

void PipeWireOutput::process(void *self)
{
    auto *output = static_cast<PipeWireOutput *>(self);
    output->callbackStarted();
    const std::int64_t now = monotonicNs();
    pw_buffer *buffer = pw_stream_dequeue_buffer(output->m_stream);
    if (!buffer)
        return;
    spa_data &data = buffer->buffer->datas[0];
    if (!data.data) {
        pw_stream_queue_buffer(output->m_stream, buffer);
        return;
    }
    const auto room = std::uint64_t(data.maxsize / kFrameBytes);
    const int frames = int(std::min<std::uint64_t>(buffer->requested ? buffer->requested : kWantedFrames, room));
    if (output->m_resumed.exchange(false, std::memory_order_acquire))
        output->m_holes.resumed();
    pw_time time = {};
    const bool timed = pw_stream_get_time_n(output->m_stream, &time, sizeof time) == 0;
    if (timed) {
        HoleFinder::Cycle cycle;
        cycle.ticks = time.ticks;
        cycle.rateNum = time.rate.num;
        cycle.rateDenom = time.rate.denom;
        cycle.graphNs = time.now;
        cycle.nowNs = now;
        cycle.frames = frames;
        if (const std::int64_t lost = output->m_holes.cycle(cycle); lost != 0)
            output->followHole(lost);
    }
    output->renderBlock(static_cast<float *>(data.data), frames, now, timed && time.now > 0 ? time.now : -1);
    data.chunk->offset = 0;
    data.chunk->stride = std::int32_t(kFrameBytes);
    data.chunk->size = std::uint32_t(std::size_t(frames) * kFrameBytes);
    pw_stream_queue_buffer(output->m_stream, buffer);
}
