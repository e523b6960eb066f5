#pragma once

#include "audio/AudioOutput.h"

#include <atomic>
#include <cstdint>
#include <memory>

struct pw_stream;
struct pw_thread_loop;

// The output as a PipeWire stream of our own (libpipewire's thread loop and a
// real-time process callback): it asks the graph for a quantum of
// kWantedFrames (node.latency) and takes what the graph gives, which may be
// more (a virtual machine's floor of 1024). Each cycle renders the whole
// quantum asked for in one block, so that whatever the graph's quantum, the
// output delivers whole blocks; blockFrames() is the quantum of the first
// cycle, which sets the engine's lead. The stream's time report tells where
// the graph's clock is: when it moved on by kFollowFrames or more beyond
// what we gave it (cycles the graph ran without us), the voice skips as many
// frames, so that the steps after a hole land where they would have.
class PipeWireOutput : public AudioOutput
{
public:
    static constexpr int kWantedFrames = 256;
    static constexpr int kOpenMs = 1000;
    // The smallest loss the voice follows (about 21 ms).
    static constexpr int kFollowFrames = 1024;

    // True when a PipeWire server accepts connections where this user's
    // clients look for it (PIPEWIRE_RUNTIME_DIR or XDG_RUNTIME_DIR, and
    // PIPEWIRE_REMOTE or "pipewire-0").
    static bool serverAnswers();

    PipeWireOutput();
    ~PipeWireOutput() override;

    bool open() override;
    void start(VoicePlayer &player) override;
    bool close(std::chrono::milliseconds limit = std::chrono::milliseconds(500), bool final = true) override;
    bool isRunning() const override;
    int rate() const override { return kPreferredRate; }
    int blockFrames() const override { return m_period.load(std::memory_order_acquire); }
    std::int64_t marginNs() const override { return 3'000'000; }
    std::string describe() const override;
    const char *name() const override { return "PipeWire"; }
    std::string service() override;

private:
    struct Hooks;
    static void process(void *self);
    static void stateChanged(void *self, int oldState, int state, const char *error);
    void closeNow();
    // Audio thread: the frames the graph played without us since the last
    // cycle, where that is kFollowFrames or more (and at least half of
    // `frames`, this cycle's quantum); else none.
    std::int64_t lostFrames(std::int64_t frames);

    pw_thread_loop *m_loop = nullptr;
    pw_stream *m_stream = nullptr;
    std::unique_ptr<Hooks> m_hooks;
    std::atomic<VoicePlayer *> m_player{nullptr};
    std::atomic<bool> m_failed{false};
    std::atomic<int> m_period{0};          // the first cycle's quantum
    std::atomic<int> m_lastQuantum{0};     // the latest cycle's
    std::atomic<std::uint64_t> m_short{0}; // cycles that asked for more than the buffer holds
    std::atomic<std::uint64_t> m_holes{0}; // cycles lost, followed on the grid
    bool m_realtimeAsked = false;          // audio thread only, from here
    std::int64_t m_lastTicks = 0;          // the graph's clock at the last cycle, in frames
    std::int64_t m_lastFrames = 0;         // the frames given then
    bool m_ticksKnown = false;
    int m_quantumSaid = 0; // engine thread only
    std::uint64_t m_holesSaid = 0;
};
