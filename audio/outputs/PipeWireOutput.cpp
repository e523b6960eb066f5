#include "audio/outputs/PipeWireOutput.h"

#include "audio/core/AudioLog.h"
#include "audio/core/MonotonicClock.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <cstdlib>
#include <cstring>
#include <string>

struct PipeWireOutput::Hooks
{
    pw_stream_events streamEvents = {};
    spa_hook stream = {};
};

PipeWireOutput::PipeWireOutput()
    : m_hooks(std::make_unique<Hooks>())
{
    Hooks &h = *m_hooks;
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

PipeWireSession::Callbacks PipeWireOutput::sessionCallbacks()
{
    PipeWireSession::Callbacks callbacks;
    callbacks.added = [this](std::uint32_t, const char *type, const spa_dict *props) {
        if (!props)
            return;
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            const char *kind = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
            if (kind && std::strcmp(kind, "Audio/Sink") == 0)
                m_sinkSeen = true;
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
            const char *metadata = spa_dict_lookup(props, PW_KEY_METADATA_NAME);
            if (metadata && std::strcmp(metadata, "default") == 0)
                m_sessionManager = true;
        }
    };
    callbacks.lost = [this] { fail(); };
    return callbacks;
}

bool PipeWireOutput::connectStream(std::int64_t deadlineNs)
{
    pw_properties *props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                             PW_KEY_MEDIA_ROLE, "Music", PW_KEY_APP_NAME, "Tamvolo", PW_KEY_NODE_NAME,
                                             "Tamvolo", PW_KEY_NODE_GROUP, kNodeGroup, nullptr);
    const std::string latency = latencyAsked();
    pw_properties_set(props, PW_KEY_NODE_LATENCY, latency.c_str());
    m_stream = pw_stream_new(m_session.core(), "Tamvolo", props);
    if (!m_stream)
        return false;
    if (latencySetAside()) {
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
    return m_session.waitUntil(deadlineNs, [this] { return m_streaming; });
}

bool PipeWireOutput::open()
{
    closeNow();
    if (!serverAnswers())
        return false;
    m_holes.restart();
    m_sessionManager = false;
    const std::int64_t deadline = monotonicNs() + std::int64_t(kOpenMs) * 1'000'000;
    const char *why = nullptr;
    if (!m_session.open("tamvolo-pipewire", sessionCallbacks(), deadline))
        why = "the server did not answer";
    else if (!m_sinkSeen)
        why = "its graph has no audio sink";
    else if (!m_sessionManager)
        why = "no session manager runs yet to link a stream";
    else if (!connectStream(deadline))
        why = "the stream was not linked in time";
    m_session.unlock();
    return why ? cannotOpen(why) : opened();
}

void PipeWireOutput::closeNow()
{
    m_session.stop(); // no callback runs after this
    if (m_stream) {
        spa_hook_remove(&m_hooks->stream);
        pw_stream_destroy(m_stream);
        m_stream = nullptr;
    }
    m_session.close();
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
    output->m_session.signal();
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
    pw_time time = {};
    const bool timed = pw_stream_get_time_n(output->m_stream, &time, sizeof time) == 0;
    if (timed)
        output->followGraph(time.ticks, time.rate.num, time.rate.denom, time.now, now, frames);
    output->renderBlock(static_cast<float *>(data.data), frames, now, timed && time.now > 0 ? time.now : -1);
    data.chunk->offset = 0;
    data.chunk->stride = std::int32_t(kFrameBytes);
    data.chunk->size = std::uint32_t(std::size_t(frames) * kFrameBytes);
    pw_stream_queue_buffer(output->m_stream, buffer);
}

void PipeWireOutput::followGraph(std::uint64_t ticks, std::uint32_t rateNum, std::uint32_t rateDenom,
                                 std::int64_t graphNs, std::int64_t nowNs, int frames)
{
    if (m_resumed.exchange(false, std::memory_order_acquire))
        m_holes.resumed();
    HoleFinder::Cycle cycle;
    cycle.ticks = ticks;
    cycle.rateNum = rateNum;
    cycle.rateDenom = rateDenom;
    cycle.graphNs = graphNs;
    cycle.nowNs = nowNs;
    cycle.frames = frames;
    if (const std::int64_t lost = m_holes.cycle(cycle); lost != 0)
        followHole(lost);
}

std::string PipeWireOutput::latencyAsked() const
{
    return std::to_string(kWantedFrames) + "/" + std::to_string(kRate);
}

bool PipeWireOutput::serverAnswers()
{
    clearFailed();
    m_sinkSeen = m_streaming = false;
    m_latencyEnvironment.clear();
    if (PipeWireSession::serverAnswers())
        return true;
    const std::string path = PipeWireSession::socketPath();
    return cannotOpen("no server answers at " + (path.empty() ? "(no runtime folder)" : path));
}

bool PipeWireOutput::latencySetAside()
{
    // PIPEWIRE_LATENCY, set for other programs, would replace ours.
    const char *set = std::getenv("PIPEWIRE_LATENCY");
    if (!set || latencyAsked() == set)
        return false;
    m_latencyEnvironment = set;
    return true;
}

bool PipeWireOutput::opened()
{
    if (!m_latencyEnvironment.empty())
        qCDebug(lcAudio) << "PipeWire: PIPEWIRE_LATENCY" << m_latencyEnvironment.c_str()
                         << "is for other programs; our node asks for" << kWantedFrames << "frames";
    qCDebug(lcAudio) << "opened" << describe().c_str();
    return true;
}
