#include "audio/MidiInput.h"

#include "audio/AudioLog.h"
#include "audio/KeepForever.h"
#include "audio/MidiHub.h"
#include "audio/MidiSequence.h"
#include "audio/MonotonicClock.h"
#include "audio/PipeWireOutput.h"
#include "audio/PipeWireSession.h"
#include "audio/RealtimePriority.h"
#include "audio/SampleRate.h"
#include "audio/SpscRing.h"
#include "audio/TimeLimits.h"

#include <alsa/asoundlib.h>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kOpenMs = 1000;
constexpr const char *kMidiFormat = "8 bit raw midi";

const char *linksText(MidiInput::Links links)
{
    switch (links) {
    case MidiInput::Links::None:
        return "(linked by hand)";
    case MidiInput::Links::Hardware:
        return "(linked to every hardware MIDI source)";
    case MidiInput::Links::All:
        return "(linked to every MIDI source, programs' too)";
    }
    return "";
}

std::string lookup(const spa_dict *props, const char *key)
{
    const char *value = props ? spa_dict_lookup(props, key) : nullptr;
    return value ? value : "";
}

} // namespace

struct MidiInput::State
{
    std::shared_ptr<MidiHub> hub;
    Links links = Links::Hardware;

    // The worker thread: opens, and opens again.
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool done = false;
    std::thread thread;

    // The MIDI thread's.
    MidiDecoder decoder;
    // PipeWire's data thread, real-time as the outputs' audio threads are.
    RealtimePriority realtime;

    void publish(const MidiDecoder::Note &note, std::int64_t at) { hub->fromSource(Hit{note, at}); }

    // --- PipeWire: a filter node of ours (or the output's node, where it
    // hears the pad itself), and links to the sources.
    struct Port
    {
        std::uint32_t node = 0;
        std::string name;
        bool physical = false; // a device's, not a program's
        pw_proxy *link = nullptr;
    };
    PipeWireSession session;
    pw_filter *filter = nullptr;
    void *port = nullptr;
    spa_hook filterHook = {};
    pw_filter_events filterEvents = {};
    std::uint32_t outputNode = MidiHub::kNoNode;    // the output's node, whose port sources link to
    std::map<std::uint32_t, std::string> nodeNames; // the main loop's thread
    std::map<std::uint32_t, Port> sources;          // MIDI output ports of others
    std::map<std::uint32_t, std::uint32_t> inputs;  // MIDI input ports, to their nodes
    std::uint32_t ourPort = SPA_ID_INVALID;
    std::atomic<bool> filterFailed{false};

    bool openPipeWire();
    void closePipeWire();
    PipeWireSession::Callbacks callbacks();
    std::uint32_t ourNode() const { return filter ? pw_filter_get_node_id(filter) : outputNode; }
    void linkAll();
    static void process(void *self, spa_io_position *position);

    // --- The ALSA sequencer.
    snd_seq_t *seq = nullptr;
    int seqPort = -1;
    snd_midi_event_t *parser = nullptr;

    bool openSequencer();
    void closeSequencer();
    void connectSource(int client, int sourcePort);
    void readSequencer();

    void work();
    bool waitOrStop(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, limit, [this] { return stop; });
    }
};

PipeWireSession::Callbacks MidiInput::State::callbacks()
{
    PipeWireSession::Callbacks callbacks;
    callbacks.added = [this](std::uint32_t id, const char *type, const spa_dict *props) {
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            const std::string name = lookup(props, PW_KEY_NODE_DESCRIPTION);
            nodeNames[id] = name.empty() ? lookup(props, PW_KEY_NODE_NAME) : name;
            return;
        }
        if (std::strcmp(type, PW_TYPE_INTERFACE_Port) != 0 || lookup(props, PW_KEY_FORMAT_DSP) != kMidiFormat)
            return;
        const std::uint32_t node = std::uint32_t(std::atoi(lookup(props, PW_KEY_NODE_ID).c_str()));
        const std::string direction = lookup(props, PW_KEY_PORT_DIRECTION);
        if (direction == "in") {
            inputs[id] = node;
        } else if (direction == "out" && node != ourNode()) {
            std::string name = nodeNames.count(node) ? nodeNames[node] : std::to_string(node);
            name += ":" + lookup(props, PW_KEY_PORT_NAME);
            const bool physical = lookup(props, PW_KEY_PORT_PHYSICAL) == "true";
            qCDebug(lcMidi) << (physical ? "MIDI source found (a device):" : "MIDI source found (a program):")
                            << name.c_str();
            sources[id] = Port{node, name, physical, nullptr};
        }
        linkAll();
    };
    callbacks.removed = [this](std::uint32_t id) {
        if (auto it = sources.find(id); it != sources.end()) {
            qCDebug(lcMidi) << "MIDI source gone" << (it->second.link ? "(unlinked):" : ":") << it->second.name.c_str();
            if (it->second.link)
                pw_proxy_destroy(it->second.link);
            sources.erase(it);
        }
        nodeNames.erase(id);
        inputs.erase(id);
    };
    return callbacks;
}

bool MidiInput::State::openPipeWire()
{
    if (!PipeWireSession::serverAnswers())
        return false;
    const std::int64_t deadline = monotonicNs() + std::int64_t(kOpenMs) * 1'000'000;
    outputNode = hub->node();
    filterFailed = false;
    bool ok = session.open("tamvolo-midi", callbacks(), deadline);
    if (ok && outputNode == MidiHub::kNoNode) {
        filterEvents.version = PW_VERSION_FILTER_EVENTS;
        filterEvents.process = &State::process;
        filterEvents.state_changed = [](void *self, pw_filter_state, pw_filter_state state, const char *) {
            auto *s = static_cast<State *>(self);
            if (state == PW_FILTER_STATE_ERROR || state == PW_FILTER_STATE_UNCONNECTED)
                s->filterFailed = true;
            else
                s->linkAll(); // the node has its id now
        };
        // In the output's group, at its latency: a pad's bridge, a driver
        // of its own, then runs on the output's driver and in its cycles,
        // not in a group of its own at the graph's default quantum.
        const std::string latency = std::to_string(PipeWireOutput::kWantedFrames) + "/" + std::to_string(kSampleRate);
        filter = pw_filter_new(session.core(), "Tamvolo",
                               pw_properties_new(PW_KEY_MEDIA_TYPE, "Midi", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                 PW_KEY_MEDIA_ROLE, "DSP", PW_KEY_NODE_NAME, "Tamvolo",
                                                 PW_KEY_NODE_DESCRIPTION, "Tamvolo", PW_KEY_APP_NAME, "Tamvolo",
                                                 PW_KEY_NODE_GROUP, PipeWireOutput::kNodeGroup, PW_KEY_NODE_LATENCY,
                                                 latency.c_str(), nullptr));
        ok = filter != nullptr;
        if (ok) {
            pw_filter_add_listener(filter, &filterHook, &filterEvents, this);
            port = pw_filter_add_port(
                filter, PW_DIRECTION_INPUT, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0,
                pw_properties_new(PW_KEY_FORMAT_DSP, kMidiFormat, PW_KEY_PORT_NAME, "MIDI in", nullptr), nullptr, 0);
            ok = port && pw_filter_connect(filter, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) >= 0;
        }
        // Everything the server has said by now has come.
        ok = ok && session.sync(deadline);
    }
    if (ok)
        linkAll();
    session.unlock();
    if (!ok) {
        closePipeWire();
        return false;
    }
    if (filter)
        qCDebug(lcMidi) << "MIDI in: PipeWire's graph, the node Tamvolo with the port \"MIDI in\"" << linksText(links);
    else
        qCDebug(lcMidi) << "MIDI in: PipeWire's graph, the port \"MIDI in\" of the output's node Tamvolo (a hit "
                           "sounds in the cycle it comes)"
                        << linksText(links);
    return true;
}

void MidiInput::State::linkAll()
{
    const std::uint32_t node = ourNode();
    if (node == SPA_ID_INVALID)
        return;
    if (ourPort == SPA_ID_INVALID)
        for (const auto &[id, inputNode] : inputs)
            if (inputNode == node)
                ourPort = id;
    if (links == Links::None || ourPort == SPA_ID_INVALID)
        return;
    for (auto &[id, source] : sources) {
        if (source.link || (links == Links::Hardware && !source.physical))
            continue;
        pw_properties *props = pw_properties_new(nullptr, nullptr);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", id);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", ourPort);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", source.node);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", node);
        source.link = static_cast<pw_proxy *>(pw_core_create_object(
            session.core(), "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
        pw_properties_free(props);
        if (source.link)
            qCDebug(lcMidi) << "MIDI source linked:" << source.name.c_str();
    }
}

void MidiInput::State::closePipeWire()
{
    session.stop();
    for (auto &[id, source] : sources)
        if (source.link)
            pw_proxy_destroy(source.link);
    sources.clear();
    nodeNames.clear();
    inputs.clear();
    ourPort = SPA_ID_INVALID;
    if (filter) {
        spa_hook_remove(&filterHook);
        pw_filter_destroy(filter);
        filter = nullptr;
        port = nullptr;
    }
    session.close();
    outputNode = MidiHub::kNoNode;
    decoder.reset();
}

void MidiInput::State::process(void *self, spa_io_position *position)
{
    auto *s = static_cast<State *>(self);
    s->realtime.askOnAudioThread();
    if (!position || !s->port)
        return;
    const std::int64_t cycleNs = std::int64_t(position->clock.nsec);
    const std::int64_t rate = position->clock.rate.denom ? std::int64_t(position->clock.rate.denom) : kSampleRate;
    forEachNote(pw_filter_get_dsp_buffer(s->port, std::uint32_t(position->clock.duration)), s->decoder,
                [&](const MidiDecoder::Note &note, std::uint32_t offset) {
                    s->publish(note, cycleNs + std::int64_t(offset) * 1'000'000'000 / rate);
                });
}

bool MidiInput::State::openSequencer()
{
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0)
        return false;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
        seq = nullptr;
        return false;
    }
    snd_seq_set_client_name(seq, "Tamvolo");
    seqPort = snd_seq_create_simple_port(seq, "MIDI in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (seqPort < 0 || snd_midi_event_new(256, &parser) < 0) {
        closeSequencer();
        return false;
    }
    // Devices plugged in later are announced by the system client.
    snd_seq_connect_from(seq, seqPort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    snd_seq_client_info_t *client = nullptr;
    snd_seq_port_info_t *info = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&info);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        snd_seq_port_info_set_client(info, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(info, -1);
        while (snd_seq_query_next_port(seq, info) >= 0)
            connectSource(snd_seq_port_info_get_client(info), snd_seq_port_info_get_port(info));
    }
    qCDebug(lcMidi) << "MIDI in: the ALSA sequencer, the client Tamvolo with the port \"MIDI in\"" << linksText(links);
    return true;
}

void MidiInput::State::connectSource(int client, int sourcePort)
{
    if (links == Links::None || client == snd_seq_client_id(seq) || client == SND_SEQ_CLIENT_SYSTEM)
        return;
    snd_seq_port_info_t *info = nullptr;
    snd_seq_port_info_alloca(&info);
    if (snd_seq_get_any_port_info(seq, client, sourcePort, info) < 0)
        return;
    const unsigned caps = snd_seq_port_info_get_capability(info);
    if ((caps & (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ)) !=
            (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ) ||
        (caps & SND_SEQ_PORT_CAP_NO_EXPORT) ||
        (links == Links::Hardware && !(snd_seq_port_info_get_type(info) & SND_SEQ_PORT_TYPE_HARDWARE)))
        return;
    if (snd_seq_connect_from(seq, seqPort, client, sourcePort) >= 0)
        qCDebug(lcMidi) << "MIDI source linked:" << snd_seq_port_info_get_name(info);
}

void MidiInput::State::closeSequencer()
{
    if (parser) {
        snd_midi_event_free(parser);
        parser = nullptr;
    }
    if (seq) {
        snd_seq_close(seq);
        seq = nullptr;
    }
    seqPort = -1;
    decoder.reset();
}

void MidiInput::State::readSequencer()
{
    snd_seq_event_t *event = nullptr;
    while (snd_seq_event_input(seq, &event) >= 0 && event) {
        if (event->type == SND_SEQ_EVENT_PORT_START) {
            connectSource(event->data.addr.client, event->data.addr.port);
            continue;
        }
        if (event->type == SND_SEQ_EVENT_PORT_EXIT)
            continue;
        std::uint8_t bytes[256];
        const long size = snd_midi_event_decode(parser, bytes, sizeof bytes, event);
        MidiDecoder::Note note;
        for (long i = 0; i < size; ++i)
            if (decoder.feed(bytes[i], note))
                publish(note, monotonicNs());
    }
}

void MidiInput::State::work()
{
    bool saidNone = false;
    while (!waitOrStop(std::chrono::milliseconds(0))) {
        realtime.reset();
        if (openPipeWire()) {
            if (seq) {
                closeSequencer();
                qCDebug(lcMidi) << "MIDI in: back on PipeWire's graph, no longer on the ALSA sequencer";
            }
            bool stopped = false;
            // Opened again when the output's node comes or goes: the port
            // the sources link to moves with it.
            while (!(stopped = waitOrStop(std::chrono::milliseconds(200))) && !session.lost() && !filterFailed &&
                   hub->node() == outputNode)
                if (const std::string said = realtime.settle("the MIDI input's data thread"); !said.empty())
                    qCDebug(lcMidi) << said.c_str();
            closePipeWire();
            if (stopped)
                break;
            if (session.lost() || filterFailed)
                qCDebug(lcMidi) << "MIDI in: PipeWire went away; tried again every" << kRetryMs << "ms";
            continue;
        }
        if (seq || openSequencer()) {
            // Read until it is time to look for PipeWire again: a server
            // that comes back (a restart, a login still starting) is taken
            // back, with everything only it can hear.
            const int count = snd_seq_poll_descriptors_count(seq, POLLIN);
            std::vector<pollfd> fds(std::size_t(std::max(count, 0)));
            snd_seq_poll_descriptors(seq, fds.data(), unsigned(fds.size()), POLLIN);
            const std::int64_t until = monotonicNs() + std::int64_t(kRetryMs) * 1'000'000;
            bool stopped = false;
            while (!(stopped = waitOrStop(std::chrono::milliseconds(0))) && monotonicNs() < until) {
                if (::poll(fds.data(), fds.size(), 200) > 0)
                    readSequencer();
            }
            if (stopped)
                break;
            continue;
        }
        if (!saidNone)
            qCDebug(lcMidi) << "no MIDI input: no PipeWire answers and there is no ALSA sequencer";
        saidNone = true;
        if (waitOrStop(std::chrono::milliseconds(kRetryMs)))
            break;
    }
    closeSequencer();
    std::lock_guard lock(mutex);
    done = true;
    wake.notify_all();
}

MidiInput::MidiInput(std::shared_ptr<MidiHub> hub, Links links)
    : m_state(std::make_unique<State>())
{
    m_state->hub = std::move(hub);
    m_state->links = links;
    m_state->thread = std::thread(&State::work, m_state.get());
}

MidiInput::~MidiInput()
{
    if (!stopWorker(*m_state, std::chrono::milliseconds(kOpenMs)))
        keepForever(std::move(m_state)); // stuck in a server: left behind with all it uses
}

bool MidiInput::waitForHit(Hit &hit, std::chrono::milliseconds limit)
{
    return m_state->hub->next(hit, limit);
}

void MidiInput::wake()
{
    m_state->hub->wake();
}

std::uint64_t MidiInput::dropped() const
{
    return m_state->hub->dropped();
}
