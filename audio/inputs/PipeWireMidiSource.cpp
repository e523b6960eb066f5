#include "audio/inputs/PipeWireMidiSource.h"

#include "audio/core/AudioLog.h"
#include "audio/core/MidiSequence.h"
#include "audio/core/MonotonicClock.h"
#include "audio/core/SampleRate.h"

#include <pipewire/filter.h>
#include <pipewire/pipewire.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char *kMidiFormat = "8 bit raw midi";
constexpr int kTurnMs = 200;

std::string lookup(const spa_dict *props, const char *key)
{
    const char *value = props ? spa_dict_lookup(props, key) : nullptr;
    return value ? value : "";
}

} // namespace

struct PipeWireMidiSource::Hooks
{
    spa_hook filter = {};
    pw_filter_events filterEvents = {};
};

PipeWireMidiSource::PipeWireMidiSource(MidiHub &hub, MidiLinks links)
    : MidiSource(hub, links)
    , m_hooks(std::make_unique<Hooks>())
{
    m_hooks->filterEvents.version = PW_VERSION_FILTER_EVENTS;
    m_hooks->filterEvents.process = &PipeWireMidiSource::process;
    m_hooks->filterEvents.state_changed = [](void *self, pw_filter_state, pw_filter_state state, const char *) {
        auto *source = static_cast<PipeWireMidiSource *>(self);
        if (state == PW_FILTER_STATE_ERROR || state == PW_FILTER_STATE_UNCONNECTED)
            source->m_filterFailed = true;
        else
            source->linkAll(); // the node has its id now
    };
}

PipeWireMidiSource::~PipeWireMidiSource()
{
    close();
}

std::uint32_t PipeWireMidiSource::ourNode() const
{
    return m_filter ? pw_filter_get_node_id(m_filter) : m_outputNode;
}

PipeWireSession::Callbacks PipeWireMidiSource::callbacks()
{
    PipeWireSession::Callbacks callbacks;
    callbacks.added = [this](std::uint32_t id, const char *type, const spa_dict *props) {
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            const std::string name = lookup(props, PW_KEY_NODE_DESCRIPTION);
            m_nodeNames[id] = name.empty() ? lookup(props, PW_KEY_NODE_NAME) : name;
            return;
        }
        if (std::strcmp(type, PW_TYPE_INTERFACE_Port) != 0 || lookup(props, PW_KEY_FORMAT_DSP) != kMidiFormat)
            return;
        const auto node = std::uint32_t(std::strtoul(lookup(props, PW_KEY_NODE_ID).c_str(), nullptr, 10));
        const std::string direction = lookup(props, PW_KEY_PORT_DIRECTION);
        if (direction == "in") {
            m_inputs[id] = node;
        } else if (direction == "out" && node != ourNode()) {
            std::string name = m_nodeNames.count(node) ? m_nodeNames[node] : std::to_string(node);
            name += ":" + lookup(props, PW_KEY_PORT_NAME);
            const bool physical = lookup(props, PW_KEY_PORT_PHYSICAL) == "true";
            qCDebug(lcMidi) << (physical ? "MIDI source found (a device):" : "MIDI source found (a program):")
                            << name.c_str();
            m_sources[id] = Port{node, name, physical, nullptr};
        }
        linkAll();
    };
    callbacks.removed = [this](std::uint32_t id) {
        if (auto it = m_sources.find(id); it != m_sources.end()) {
            qCDebug(lcMidi) << "MIDI source gone" << (it->second.link ? "(unlinked):" : ":") << it->second.name.c_str();
            if (it->second.link)
                pw_proxy_destroy(it->second.link);
            m_sources.erase(it);
        }
        m_nodeNames.erase(id);
        m_inputs.erase(id);
    };
    return callbacks;
}

bool PipeWireMidiSource::open()
{
    if (!PipeWireSession::serverAnswers())
        return false;
    const std::int64_t deadline = monotonicNs() + std::int64_t(kOpenMs) * 1'000'000;
    m_outputNode = m_hub.node();
    m_filterFailed = false;
    m_realtime.reset();
    bool ok = m_session.open("tamvolo-midi", callbacks(), deadline);
    if (ok && m_outputNode == MidiHub::kNoNode) {
        const std::string latency = std::to_string(PipeWireSession::kWantedFrames) + "/" + std::to_string(kSampleRate);
        m_filter = pw_filter_new(m_session.core(), "Tamvolo",
                                 pw_properties_new(PW_KEY_MEDIA_TYPE, "Midi", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                   PW_KEY_MEDIA_ROLE, "DSP", PW_KEY_NODE_NAME, "Tamvolo",
                                                   PW_KEY_NODE_DESCRIPTION, "Tamvolo", PW_KEY_APP_NAME, "Tamvolo",
                                                   PW_KEY_NODE_GROUP, PipeWireSession::kNodeGroup, PW_KEY_NODE_LATENCY,
                                                   latency.c_str(), nullptr));
        ok = m_filter != nullptr;
        if (ok) {
            pw_filter_add_listener(m_filter, &m_hooks->filter, &m_hooks->filterEvents, this);
            m_port = pw_filter_add_port(
                m_filter, PW_DIRECTION_INPUT, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0,
                pw_properties_new(PW_KEY_FORMAT_DSP, kMidiFormat, PW_KEY_PORT_NAME, "MIDI in", nullptr), nullptr, 0);
            ok = m_port && pw_filter_connect(m_filter, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) >= 0;
        }
        // Everything the server has said by now has come.
        ok = ok && m_session.sync(deadline);
    }
    if (ok)
        linkAll();
    m_session.unlock();
    if (!ok) {
        close();
        return false;
    }
    if (m_filter)
        qCDebug(lcMidi) << "MIDI in: PipeWire's graph, the node Tamvolo with the port \"MIDI in\"" << linksText();
    else
        qCDebug(lcMidi) << "MIDI in: PipeWire's graph, the port \"MIDI in\" of the output's node Tamvolo (a hit "
                           "sounds in the cycle it comes)"
                        << linksText();
    return true;
}

MidiSource::Ended PipeWireMidiSource::serve(const Wait &wait)
{
    // Opened again when the output's node comes or goes: the port the
    // sources link to moves with it.
    while (!m_session.lost() && !m_filterFailed && m_hub.node() == m_outputNode) {
        if (wait(std::chrono::milliseconds(kTurnMs)))
            return Ended::Stopped;
        if (const std::string said = m_realtime.settle("the MIDI input's data thread"); !said.empty())
            qCDebug(lcMidi) << said.c_str();
    }
    return m_session.lost() || m_filterFailed ? Ended::Lost : Ended::Again;
}

void PipeWireMidiSource::linkAll()
{
    const std::uint32_t node = ourNode();
    if (node == SPA_ID_INVALID)
        return;
    if (m_ourPort == SPA_ID_INVALID)
        for (const auto &[id, inputNode] : m_inputs)
            if (inputNode == node)
                m_ourPort = id;
    if (m_links == MidiLinks::None || m_ourPort == SPA_ID_INVALID)
        return;
    for (auto &[id, source] : m_sources) {
        if (source.link || (m_links == MidiLinks::Hardware && !source.physical))
            continue;
        pw_properties *props = pw_properties_new(nullptr, nullptr);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", id);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", m_ourPort);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", source.node);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", node);
        source.link = static_cast<pw_proxy *>(pw_core_create_object(
            m_session.core(), "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
        pw_properties_free(props);
        if (source.link)
            qCDebug(lcMidi) << "MIDI source linked:" << source.name.c_str();
    }
}

void PipeWireMidiSource::close()
{
    m_session.stop();
    for (auto &[id, source] : m_sources)
        if (source.link)
            pw_proxy_destroy(source.link);
    m_sources.clear();
    m_nodeNames.clear();
    m_inputs.clear();
    m_ourPort = SPA_ID_INVALID;
    if (m_filter) {
        spa_hook_remove(&m_hooks->filter);
        pw_filter_destroy(m_filter);
        m_filter = nullptr;
        m_port = nullptr;
    }
    m_session.close();
    m_outputNode = MidiHub::kNoNode;
    m_decoder.reset();
}

void PipeWireMidiSource::process(void *self, spa_io_position *position)
{
    auto *source = static_cast<PipeWireMidiSource *>(self);
    source->m_realtime.askOnAudioThread();
    if (!position || !source->m_port)
        return;
    const auto cycleNs = std::int64_t(position->clock.nsec);
    const std::int64_t rate = position->clock.rate.denom ? std::int64_t(position->clock.rate.denom) : kSampleRate;
    forEachNote(pw_filter_get_dsp_buffer(source->m_port, std::uint32_t(position->clock.duration)), source->m_decoder,
                [&](const MidiDecoder::Note &note, std::uint32_t offset) {
                    source->heard(note, cycleNs + std::int64_t(offset) * 1'000'000'000 / rate);
                });
}
