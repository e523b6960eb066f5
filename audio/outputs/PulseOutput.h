#pragma once

#include "audio/outputs/AudioOutput.h"
#include "audio/outputs/CushionSize.h"

#include <pulse/def.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

// The output as a PulseAudio stream of our own (libpulse's threaded main
// loop; pipewire-pulse serves it too). The server asks for frames whenever
// kRequestFrames or more are missing from its queue, and gets exactly what it
// asked for, rendered in blocks of at most kBlockFrames.
//
// The cushion is the whole delay we ask for (ADJUST_LATENCY's tlength): the
// server gives about half of what is above two requests to the sink and
// keeps the rest queued, so each step of the cushion lengthens both, and the
// sink is never asked for its smallest latency, which would make it wake
// every half millisecond for every stream on it. CushionSize sizes it: it
// grows when the server runs dry and comes back down to kQuietCushionFrames
// when a while has passed clean. Both are done in the stream's own callbacks
// (libpulse's main loop thread, which holds its lock there), by the stream's
// buffer attributes, never by reopening.
//
// The server never pauses to refill (prebuf 0): after a hole it asks for the
// frames its read position passed and drops them as they arrive, so our
// frames stay on its timeline and the steps after a hole keep their place.
class PulseOutput : public AudioOutput
{
public:
    static constexpr int kBlockFrames = 256;
    static constexpr int kRequestFrames = 256;
    static constexpr int kQuietCushionFrames = 768;
    static constexpr int kCushionStepFrames = 256;
    static constexpr int kMaxCushionFrames = 2048;
    // While the stream starts, and the program with it, before anything
    // sounds, the server runs dry now and then: not counted.
    static constexpr int kSettlingMs = 2000;

    PulseOutput() = default;
    ~PulseOutput() override;

    // Any thread: the buffer attributes asked for with a cushion of
    // `cushionFrames`.
    static pa_buffer_attr bufferFor(int cushionFrames);
    // Any thread: the quiet cushion where the server makes its requests
    // `requestFrames` long (pipewire-pulse asks for no less than its
    // smallest quantum): three requests at least, so that every step of the
    // cushion still lengthens the queue.
    static int quietCushionFor(int requestFrames) { return std::max(kQuietCushionFrames, 3 * requestFrames); }

    bool open() override;
    std::string describe() const override;
    const char *name() const override { return "PulseAudio"; }

protected:
    void closeNow() override;
    bool isOpen() const override { return m_stream != nullptr; }
    void reportOwn(std::vector<std::string> &lines) override;

private:
    static void contextChanged(pa_context *context, void *self);
    static void streamChanged(pa_stream *stream, void *self);
    static void writable(pa_stream *stream, std::size_t bytes, void *self);
    static void underflow(pa_stream *stream, void *self);
    // Under the loop's lock: waits (signalled) until `ready` says 1 (true)
    // or -1 (false), or until the deadline (false).
    template <typename Ready> bool waitUntil(std::int64_t deadlineNs, Ready ready);
    // The main loop's thread: asks the server for the cushion's size.
    void applyCushion();

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;

    // The main loop's thread.
    CushionSize m_cushion{kQuietCushionFrames, kCushionStepFrames, kMaxCushionFrames};
    std::int64_t m_settledNs = 0;
    std::vector<float> m_scratch;     // a block the server gives no room to render into
    std::string m_latencyEnvironment; // PULSE_LATENCY_MSEC, where set

    // Told by the main loop's thread.
    std::atomic<std::uint64_t> m_underruns{0};
    std::atomic<int> m_cushionFrames{kQuietCushionFrames};

    // The engine thread's: what was said.
    std::uint64_t m_underrunsSaid = 0;
    int m_cushionSaid = kQuietCushionFrames;
};
