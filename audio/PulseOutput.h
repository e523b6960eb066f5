#pragma once

#include "audio/AudioOutput.h"
#include "audio/CushionGrowth.h"

#include <atomic>
#include <cstdint>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

// The output as a PulseAudio stream of our own (libpulse's threaded main
// loop; pipewire-pulse serves it too): blocks of kBlockFrames, and the
// server asked (ADJUST_LATENCY) to keep a cushion of kStartCushionFrames
// queued ahead of the sink: the smallest that holds on a quiet machine.
//
// When the server reports an underrun, CushionGrowth decides whether the
// cushion grows by one block (by the stream's buffer attributes, without
// reopening), up to kMaxCushionFrames; it never shrinks while the program
// runs. The engine thread does that in service(); the audio thread
// (libpulse's main loop) only renders and counts.
class PulseOutput : public AudioOutput
{
public:
    static constexpr int kBlockFrames = 128;
    static constexpr int kStartCushionFrames = 256;
    static constexpr int kMaxCushionFrames = 2048;
    static constexpr int kOpenMs = 1000;
    // The server runs dry once while the stream starts: not counted.
    static constexpr int kSettlingBlocks = 40;

    PulseOutput() = default;
    ~PulseOutput() override;

    bool open() override;
    void start(VoicePlayer &player) override;
    bool close(std::chrono::milliseconds limit = std::chrono::milliseconds(500), bool final = true) override;
    bool isRunning() const override;
    int rate() const override { return kPreferredRate; }
    int blockFrames() const override { return kBlockFrames; }
    std::int64_t marginNs() const override { return 3'000'000; }
    std::string describe() const override;
    const char *name() const override { return "PulseAudio"; }
    std::string service() override;

    // Underruns the server reported (any thread).
    std::uint64_t underruns() const { return m_underruns.load(std::memory_order_relaxed); }
    int cushionFrames() const { return m_cushion.frames(); }

private:
    static void contextChanged(pa_context *context, void *self);
    static void streamChanged(pa_stream *stream, void *self);
    static void writable(pa_stream *stream, std::size_t bytes, void *self);
    static void underflow(pa_stream *stream, void *self);
    // Waits, bounded, for `ready` under the loop's lock.
    template <typename Ready> bool waitFor(Ready ready);
    void closeNow();

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    std::atomic<VoicePlayer *> m_player{nullptr};
    std::atomic<bool> m_failed{false};
    std::atomic<std::uint64_t> m_underruns{0};
    std::uint64_t m_blocksWritten = 0; // audio thread only
    std::vector<float> m_scratch;      // for a block the server gives no room to render into
    bool m_realtimeAsked = false;      // audio thread only

    // Engine thread only.
    CushionGrowth m_cushion{kStartCushionFrames, kBlockFrames, kMaxCushionFrames};
    std::uint64_t m_underrunsSeen = 0;
};
