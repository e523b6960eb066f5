#pragma once

#include "audio/outputs/AudioOutput.h"
#include "audio/outputs/HoleFinder.h"
#include "audio/servers/PipeWireSession.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct pw_stream;

// The output as a PipeWire stream of our own (libpipewire's thread loop and a
// real-time process callback). It asks the graph for a quantum of
// kWantedFrames (node.latency, whatever PIPEWIRE_LATENCY says for other
// programs) and renders, each cycle, one block of whatever the graph asks:
// the quantum may change while it runs, and a graph at another rate asks for
// our 48 kHz frames a frame more or less from cycle to cycle.
//
// Opened only where it can play: the socket answers (tried first, as it
// costs nothing), the graph has an audio sink and a session manager (its
// "default" metadata) to link the stream, and the stream is linked within
// kOpenMs. The graph's clock, read each cycle, tells the holes we leave
// (HoleFinder): the voice skips them, so that what follows keeps its place.
// A stream the graph pauses (it changes its rate, or the stream lost its
// links) is told; one paused for long is no longer serviced, which the
// engine sees.
class PipeWireOutput : public AudioOutput
{
public:
    static constexpr int kWantedFrames = PipeWireSession::kWantedFrames;
    static constexpr const char *kNodeGroup = PipeWireSession::kNodeGroup;

    PipeWireOutput();
    ~PipeWireOutput() override;

    bool open() override;
    std::string describe() const override;
    const char *name() const override { return "PipeWire"; }

protected:
    void closeNow() override;
    bool isOpen() const override { return m_stream != nullptr; }
    void reportOwn(std::vector<std::string> &lines) override;

protected:
    // The node's states, told on the loop's thread (a stream's and a
    // filter's are numbered alike): the links lost and found again.
    static void stateChanged(void *self, int oldState, int state, const char *error);
    // Audio thread: the graph's clock this cycle, for the holes left.
    void followGraph(std::uint64_t ticks, std::uint32_t rateNum, std::uint32_t rateDenom, std::int64_t graphNs,
                     std::int64_t nowNs, int frames);
    // The node.latency asked for.
    std::string latencyAsked() const;
    // The engine thread, opening: a server answers (else false, and why);
    // the states of the last open are cleared.
    bool serverAnswers();
    // The engine thread, opening: true where PIPEWIRE_LATENCY, set for other
    // programs, says another latency, which is set aside for ours.
    bool latencySetAside();
    // The engine thread: the open said in the log; true.
    bool opened();

    PipeWireSession m_session;
    // The main loop's thread (under its lock), while opening.
    bool m_sinkSeen = false;
    bool m_streaming = false;
    std::string m_latencyEnvironment; // PIPEWIRE_LATENCY, where set (and set aside)

private:
    struct Hooks;
    static void process(void *self);
    PipeWireSession::Callbacks sessionCallbacks();
    bool connectStream(std::int64_t deadlineNs);

    pw_stream *m_stream = nullptr;
    std::unique_ptr<Hooks> m_hooks;
    bool m_sessionManager = false;

    // Audio thread.
    HoleFinder m_holes{kRate};

    // Told by the main loop's thread.
    std::atomic<std::uint64_t> m_linksLost{0};
    std::atomic<std::uint64_t> m_linksFound{0};
    std::atomic<bool> m_resumed{false}; // for the audio thread: paused, now running again

    // The engine thread's: what was said.
    int m_quantumSaid = 0;
    int m_rateSaid = 0;
    std::uint64_t m_holesSaid = 0;
    std::uint64_t m_droppedSaid = 0;
    std::uint64_t m_linksLostSaid = 0;
    std::uint64_t m_linksFoundSaid = 0;
};
