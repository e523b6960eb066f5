#pragma once

#include "audio/AudioOutput.h"
#include "audio/HoleFinder.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct pw_context;
struct pw_core;
struct pw_registry;
struct pw_stream;
struct pw_thread_loop;

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
    static constexpr int kWantedFrames = 256;
    // The group of every node of ours (node.group): the graph runs them on
    // one driver, the output's.
    static constexpr const char *kNodeGroup = "tamvolo";

    // Where this user's clients look for the server: PIPEWIRE_REMOTE when it
    // is a path, else PIPEWIRE_RUNTIME_DIR (or XDG_RUNTIME_DIR) and
    // PIPEWIRE_REMOTE (or "pipewire-0"); empty when nothing says.
    static std::string socketPath();
    // True when a server accepts connections there; never blocks for long.
    static bool serverAnswers();

    PipeWireOutput();
    ~PipeWireOutput() override;

    bool open() override;
    std::string describe() const override;
    const char *name() const override { return "PipeWire"; }

protected:
    void closeNow() override;
    bool isOpen() const override { return m_stream != nullptr; }
    void reportOwn(std::vector<std::string> &lines) override;

private:
    struct Hooks;
    static void process(void *self);
    static void stateChanged(void *self, int oldState, int state, const char *error);
    // Under the loop's lock, waiting (signalled) until `ready` or the deadline.
    template <typename Ready> bool waitUntil(std::int64_t deadlineNs, Ready ready);
    bool connectCore(std::int64_t deadlineNs);
    bool connectStream(std::int64_t deadlineNs);

    pw_thread_loop *m_loop = nullptr;
    pw_context *m_context = nullptr;
    pw_core *m_core = nullptr;
    pw_registry *m_registry = nullptr;
    pw_stream *m_stream = nullptr;
    std::unique_ptr<Hooks> m_hooks;
    // The main loop's thread (under its lock), while opening.
    bool m_sinkSeen = false;
    bool m_sessionManager = false;
    bool m_synced = false;
    int m_syncSeq = -1;
    bool m_streaming = false;
    bool m_coreFailed = false;
    std::string m_latencyEnvironment; // PIPEWIRE_LATENCY, where set (and set aside)

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
