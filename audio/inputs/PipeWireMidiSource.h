#pragma once

#include "audio/core/MidiHub.h"
#include "audio/core/RealtimePriority.h"
#include "audio/inputs/MidiSource.h"
#include "audio/servers/PipeWireSession.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

struct pw_filter;
struct pw_proxy;
struct spa_io_position;

// The MIDI input in a PipeWire graph: where the output is PipeWire's node
// (which has the "MIDI in" port and plays a hit in the cycle it comes), the
// sources are linked to that port and its notes come through the hub; else a
// node of its own, "Tamvolo", with one port, "MIDI in" (8-bit raw MIDI), in
// the output's group at its latency (node.group, node.latency), so that a
// pad's bridge, a driver of its own, runs on the output's driver. Each event
// keeps its time: the graph's time of its cycle and its offset in it. It is
// opened again when the output's node comes or goes.
//
// Sources (MidiLinks): PipeWire's physical MIDI ports are the hardware ones.
// A source found, linked or gone is said in the log (tamvolo.midi), by the
// loop's thread; the node's data thread, real-time as the outputs' audio
// threads are, never blocks, allocates or logs.
class PipeWireMidiSource : public MidiSource
{
public:
    PipeWireMidiSource(MidiHub &hub, MidiLinks links);
    ~PipeWireMidiSource() override;

    bool open() override;
    Ended serve(const Wait &wait) override;
    void close() override;

private:
    struct Port
    {
        std::uint32_t node = 0;
        std::string name;
        bool physical = false; // a device's, not a program's
        pw_proxy *link = nullptr;
    };
    struct Hooks;
    PipeWireSession::Callbacks callbacks();
    // The node whose port the sources link to: ours, or the output's.
    std::uint32_t ourNode() const;
    // The loop's thread: links every source the links allow.
    void linkAll();
    static void process(void *self, spa_io_position *position);

    PipeWireSession m_session;
    pw_filter *m_filter = nullptr;
    void *m_port = nullptr;
    std::unique_ptr<Hooks> m_hooks;
    std::uint32_t m_outputNode = MidiHub::kNoNode;

    // The loop's thread.
    std::map<std::uint32_t, std::string> m_nodeNames;
    std::map<std::uint32_t, Port> m_sources;         // MIDI output ports of others
    std::map<std::uint32_t, std::uint32_t> m_inputs; // MIDI input ports, to their nodes
    std::uint32_t m_ourPort = 0xffffffffu;
    std::atomic<bool> m_filterFailed{false};

    // The data thread's priority, settled by the worker.
    RealtimePriority m_realtime;
};
