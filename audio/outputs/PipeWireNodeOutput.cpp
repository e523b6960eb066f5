#include "audio/outputs/PipeWireNodeOutput.h"

#include "audio/core/AudioLog.h"
#include "audio/core/MidiHub.h"
#include "audio/core/MidiSequence.h"
#include "audio/core/MonotonicClock.h"
#include "audio/core/Playback.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char *kAudioFormat = "32 bit float mono audio";
constexpr const char *kMidiFormat = "8 bit raw midi";
constexpr std::uint32_t kNone = 0xffffffffu;

std::string lookup(const spa_dict *props, const char *key)
{
    const char *value = props ? spa_dict_lookup(props, key) : nullptr;
    return value ? value : "";
}

// The sink's name in the "default" metadata's value: {"name":"..."}.
std::string nameIn(const char *json)
{
    const std::string text = json ? json : "";
    const std::size_t key = text.find("\"name\"");
    const std::size_t open = key == std::string::npos ? key : text.find('"', text.find(':', key) + 1);
    const std::size_t close = open == std::string::npos ? open : text.find('"', open + 1);
    return close == std::string::npos ? std::string() : text.substr(open + 1, close - open - 1);
}

} // namespace

std::atomic<std::uint32_t> PipeWireNodeOutput::s_otherRate{0};

struct PipeWireNodeOutput::Hooks
{
    pw_filter_events filterEvents = {};
    pw_metadata_events metadataEvents = {};
    spa_hook filter = {};
    spa_hook metadata = {};
};

PipeWireNodeOutput::PipeWireNodeOutput(MidiHub &hub)
    : m_hub(hub)
    , m_hooks(std::make_unique<Hooks>())
    , m_block(std::size_t(kMaxFrames) * kChannels)
{
    Hooks &h = *m_hooks;
    h.filterEvents.version = PW_VERSION_FILTER_EVENTS;
    h.filterEvents.process = &PipeWireNodeOutput::process;
    h.filterEvents.state_changed = [](void *self, pw_filter_state oldState, pw_filter_state state, const char *error) {
        auto *output = static_cast<PipeWireNodeOutput *>(self);
        stateChanged(static_cast<PipeWireOutput *>(output), int(oldState), int(state), error);
        output->relink(); // the node has its id now
    };
    h.metadataEvents.version = PW_VERSION_METADATA_EVENTS;
    h.metadataEvents.property = [](void *self, uint32_t subject, const char *key, const char *, const char *value) {
        return static_cast<PipeWireNodeOutput *>(self)->property(subject, key, value);
    };
}

PipeWireNodeOutput::~PipeWireNodeOutput()
{
    closeNow();
}

PipeWireSession::Callbacks PipeWireNodeOutput::callbacks()
{
    PipeWireSession::Callbacks callbacks;
    callbacks.added = [this](std::uint32_t id, const char *type, const spa_dict *props) {
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            if (lookup(props, PW_KEY_MEDIA_CLASS) == "Audio/Sink") {
                m_sinks[id] = Sink{lookup(props, PW_KEY_NODE_NAME), lookup(props, PW_KEY_OBJECT_SERIAL)};
                m_sinkSeen = true;
            }
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
            if (lookup(props, PW_KEY_FORMAT_DSP) != kAudioFormat)
                return;
            m_ports[id] = Port{std::uint32_t(std::strtoul(lookup(props, PW_KEY_NODE_ID).c_str(), nullptr, 10)),
                               lookup(props, PW_KEY_AUDIO_CHANNEL), lookup(props, PW_KEY_PORT_DIRECTION) == "out"};
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
            if (lookup(props, PW_KEY_METADATA_NAME) == "default" && !m_metadata)
                metadataFound(id);
            return;
        } else {
            return;
        }
        relink();
    };
    callbacks.removed = [this](std::uint32_t id) {
        if (id == m_linkedSink)
            m_linkedSink = kNone; // its links went with it
        m_sinks.erase(id);
        m_ports.erase(id);
        if (m_metadata && id == m_metadataId) {
            spa_hook_remove(&m_hooks->metadata);
            pw_proxy_destroy(reinterpret_cast<pw_proxy *>(m_metadata));
            m_metadata = nullptr;
        }
        relink();
    };
    callbacks.lost = [this] { fail(); };
    return callbacks;
}

void PipeWireNodeOutput::metadataFound(std::uint32_t id)
{
    m_metadataId = id;
    m_metadata = static_cast<pw_metadata *>(
        pw_registry_bind(m_session.registry(), id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
    if (m_metadata)
        pw_metadata_add_listener(m_metadata, &m_hooks->metadata, &m_hooks->metadataEvents, this);
}

int PipeWireNodeOutput::property(std::uint32_t subject, const char *key, const char *value)
{
    const std::uint32_t ourNode = m_filter ? pw_filter_get_node_id(m_filter) : kNone;
    if (subject == PW_ID_CORE && (!key || std::strcmp(key, "default.audio.sink") == 0))
        m_defaultSink = nameIn(value);
    else if (subject == ourNode && ourNode != kNone &&
             (!key || std::strcmp(key, "target.object") == 0 || std::strcmp(key, "target.node") == 0))
        m_target = value && std::strcmp(value, "-1") != 0 ? value : "";
    else
        return 0;
    relink();
    return 0;
}

std::uint32_t PipeWireNodeOutput::chosenSink() const
{
    auto named = [this](const std::string &name) {
        for (const auto &[id, sink] : m_sinks)
            if (!name.empty() && (sink.name == name || sink.serial == name || std::to_string(id) == name))
                return id;
        return kNone;
    };
    if (const std::uint32_t target = named(m_target); target != kNone)
        return target;
    if (const std::uint32_t fallback = named(m_defaultSink); fallback != kNone)
        return fallback;
    return m_sinks.empty() ? kNone : m_sinks.begin()->first;
}

void PipeWireNodeOutput::unlink()
{
    for (pw_proxy *link : m_links)
        pw_proxy_destroy(link);
    m_links.clear();
    m_linkedSink = kNone;
}

void PipeWireNodeOutput::relink()
{
    if (!m_filter)
        return;
    const std::uint32_t ourNode = pw_filter_get_node_id(m_filter);
    std::vector<std::pair<std::uint32_t, std::string>> ours;
    for (const auto &[id, port] : m_ports)
        if (port.node == ourNode && port.out)
            ours.emplace_back(id, port.channel);
    const std::uint32_t sink = chosenSink();
    if (ourNode == kNone || ours.size() < 2 || sink == kNone) {
        unlink();
        return;
    }
    // Each of our ports to the sink's port of its channel (or its one mono
    // port). A sink just added may not have announced all its ports yet:
    // linked again once more of them can be linked.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (const auto &[ourPort, channel] : ours) {
        std::uint32_t theirs = kNone;
        for (const auto &[id, port] : m_ports)
            if (port.node == sink && !port.out &&
                (port.channel == channel || (theirs == kNone && port.channel == "MONO")))
                theirs = id;
        if (theirs != kNone)
            pairs.emplace_back(ourPort, theirs);
    }
    if (sink == m_linkedSink && m_links.size() >= pairs.size())
        return;
    unlink();
    for (const auto &[ourPort, theirs] : pairs) {
        pw_properties *props = pw_properties_new(nullptr, nullptr);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", ourPort);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", theirs);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", ourNode);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", sink);
        auto *link = static_cast<pw_proxy *>(pw_core_create_object(
            m_session.core(), "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
        pw_properties_free(props);
        if (link)
            m_links.push_back(link);
    }
    if (m_links.empty())
        return;
    m_linkedSink = sink;
    qCDebug(lcAudio) << "PipeWire: the node plays on the sink" << m_sinks[sink].name.c_str()
                     << (!m_target.empty() ? "(where it was moved)" : "(the default)");
}

bool PipeWireNodeOutput::open()
{
    closeNow();
    if (const std::uint32_t rate = s_otherRate.load(std::memory_order_relaxed); rate != 0)
        return cannotOpen("the graph ran at " + std::to_string(rate) + " Hz; PipeWire's own stream serves");
    if (!serverAnswers())
        return false;
    m_sinks.clear();
    m_ports.clear();
    m_defaultSink.clear();
    m_target.clear();
    m_decoder.reset();
    const std::int64_t deadline = monotonicNs() + std::int64_t(kOpenMs) * 1'000'000;
    const char *why = nullptr;
    if (!m_session.open("tamvolo-pipewire", callbacks(), deadline)) {
        why = "the server did not answer";
    } else if (!m_sinkSeen) {
        why = "its graph has no audio sink";
    } else {
        const std::string latency = latencyAsked();
        m_filter = pw_filter_new(m_session.core(), "Tamvolo",
                                 pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                                   PW_KEY_MEDIA_ROLE, "Music", PW_KEY_MEDIA_CLASS,
                                                   "Stream/Output/Audio", PW_KEY_APP_NAME, "Tamvolo", PW_KEY_NODE_NAME,
                                                   "Tamvolo", PW_KEY_NODE_DESCRIPTION, "Tamvolo",
                                                   // It links itself (and follows the sink itself).
                                                   PW_KEY_NODE_AUTOCONNECT, "false", PW_KEY_NODE_GROUP, kNodeGroup,
                                                   PW_KEY_NODE_LATENCY, latency.c_str(), nullptr));
        if (m_filter) {
            if (latencySetAside()) {
                const spa_dict_item item = SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, latency.c_str());
                const spa_dict dict = SPA_DICT_INIT(&item, 1);
                pw_filter_update_properties(m_filter, nullptr, &dict);
            }
            pw_filter_add_listener(m_filter, &m_hooks->filter, &m_hooks->filterEvents, this);
            auto port = [this](pw_direction direction, const char *format, const char *name, const char *channel) {
                pw_properties *props = pw_properties_new(PW_KEY_FORMAT_DSP, format, PW_KEY_PORT_NAME, name, nullptr);
                if (channel)
                    pw_properties_set(props, PW_KEY_AUDIO_CHANNEL, channel);
                return pw_filter_add_port(m_filter, direction, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0, props, nullptr, 0);
            };
            m_left = port(PW_DIRECTION_OUTPUT, kAudioFormat, "output_FL", "FL");
            m_right = port(PW_DIRECTION_OUTPUT, kAudioFormat, "output_FR", "FR");
            m_midi = port(PW_DIRECTION_INPUT, kMidiFormat, "MIDI in", nullptr);
        }
        if (!m_filter || !m_left || !m_right || !m_midi ||
            pw_filter_connect(m_filter, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) < 0)
            why = "the node could not be made";
        else if (!m_session.waitUntil(deadline, [this] { return m_streaming; }))
            why = "the node was not linked to a sink in time";
    }
    const std::uint32_t node = m_filter ? pw_filter_get_node_id(m_filter) : kNone;
    m_session.unlock();
    if (why)
        return cannotOpen(why);
    m_hub.setNode(node);
    return opened();
}

void PipeWireNodeOutput::closeNow()
{
    m_hub.setNode(MidiHub::kNoNode);
    m_session.stop(); // no callback runs after this
    unlink();
    if (m_metadata) {
        spa_hook_remove(&m_hooks->metadata);
        pw_proxy_destroy(reinterpret_cast<pw_proxy *>(m_metadata));
        m_metadata = nullptr;
    }
    if (m_filter) {
        spa_hook_remove(&m_hooks->filter);
        pw_filter_destroy(m_filter);
        m_filter = nullptr;
        m_left = m_right = m_midi = nullptr;
    }
    m_session.close();
}

std::string PipeWireNodeOutput::describe() const
{
    return "PipeWire's node Tamvolo (audio out and \"MIDI in\": a pad's hit sounds in the cycle it comes) at " +
        std::to_string(kRate) + " Hz, asking the graph for a quantum of " + std::to_string(kWantedFrames) + " frames";
}

void PipeWireNodeOutput::reportOwn(std::vector<std::string> &lines)
{
    PipeWireOutput::reportOwn(lines);
    if (const std::uint32_t rate = s_otherRate.load(std::memory_order_relaxed); rate != 0 && !m_otherRateSaid) {
        m_otherRateSaid = true;
        lines.push_back("PipeWire: the graph runs at " + std::to_string(rate) +
                        " Hz; PipeWire's own stream (which the graph converts) serves from now on");
    }
}

int PipeWireNodeOutput::hearPad(spa_io_position *position, int frames, VoicePlayer::BlockHit *hits)
{
    const NoteTable *table = m_hub.tableForCycle();
    int count = 0;
    const auto cycleNs = std::int64_t(position->clock.nsec);
    forEachNote(pw_filter_get_dsp_buffer(m_midi, std::uint32_t(frames)), m_decoder,
                [&](const MidiDecoder::Note &note, std::uint32_t at) {
                    const int offset = std::min(int(at), frames - 1);
                    MidiHub::Hit heard{note, cycleNs + std::int64_t(offset) * 1'000'000'000 / kRate, false, 0};
                    if (table) {
                        const NoteTable::Entry &entry = table->notes[note.note];
                        heard.key = entry.key;
                        heard.sounded = true;
                        std::array<int, NoteTable::kMaxStacked> layers{};
                        const int picked = entry.pick(note.velocity, m_turns[note.note], layers);
                        // All its layers here, or the player plays it, a cycle on.
                        if (picked > 0 && count + picked <= kMaxHitsPerCycle && m_hub.spares() >= picked) {
                            ++m_turns[note.note];
                            for (int i = 0; i < picked; ++i) {
                                const NoteTable::Layer &layer = entry.layers[std::size_t(layers[std::size_t(i)])];
                                Playback *hit = m_hub.spare();
                                hit->sample = layer.sample;
                                hit->gain = table->gainOf(layer, note.velocity);
                                hit->left = entry.left;
                                hit->right = entry.right;
                                hit->group = entry.group;
                                hit->chokes = entry.chokes;
                                hits[count++] = VoicePlayer::BlockHit{hit, offset};
                            }
                        } else if (picked > 0) {
                            heard.sounded = false;
                        }
                    }
                    m_hub.fromNode(heard);
                });
    return count;
}

void PipeWireNodeOutput::process(void *self, spa_io_position *position)
{
    auto *output = static_cast<PipeWireNodeOutput *>(self);
    output->callbackStarted();
    const std::int64_t now = monotonicNs();
    if (!position)
        return;
    const int frames = std::min(int(position->clock.duration), kMaxFrames);
    auto *left = static_cast<float *>(pw_filter_get_dsp_buffer(output->m_left, std::uint32_t(frames)));
    auto *right = static_cast<float *>(pw_filter_get_dsp_buffer(output->m_right, std::uint32_t(frames)));
    if (position->clock.rate.denom != std::uint32_t(kRate)) {
        // Our frames are kRate's: this graph needs the stream, which it converts.
        s_otherRate.store(position->clock.rate.denom, std::memory_order_relaxed);
        output->fail();
        if (left)
            std::fill(left, left + frames, 0.0f);
        if (right)
            std::fill(right, right + frames, 0.0f);
        return;
    }
    output->followGraph(position->clock.position, position->clock.rate.num, position->clock.rate.denom,
                        std::int64_t(position->clock.nsec), now, frames);
    VoicePlayer::BlockHit hits[kMaxHitsPerCycle];
    const int count = output->hearPad(position, frames, hits);
    float *block = output->m_block.data();
    if (!output->renderBlock(block, frames, now, std::int64_t(position->clock.nsec), {hits, std::size_t(count)}))
        for (int i = 0; i < count; ++i)
            output->m_hub.giveBack(hits[i].hit);
    for (int i = 0; i < frames; ++i) {
        if (left)
            left[i] = block[2 * i];
        if (right)
            right[i] = block[2 * i + 1];
    }
}
