#include "audio/outputs/PulseOutput.h"

#include "audio/core/AudioLog.h"
#include "audio/core/MonotonicClock.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

pa_buffer_attr PulseOutput::bufferFor(int cushionFrames)
{
    pa_buffer_attr attr = {};
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(std::size_t(cushionFrames) * kFrameBytes);
    attr.prebuf = 0; // never paused to refill: a hole costs the frames it missed, not the grid
    attr.minreq = std::uint32_t(std::size_t(kRequestFrames) * kFrameBytes);
    attr.fragsize = std::uint32_t(-1);
    return attr;
}

PulseOutput::~PulseOutput()
{
    closeNow();
}

template <typename Ready> bool PulseOutput::waitUntil(std::int64_t deadlineNs, Ready ready)
{
    // A timer of the loop's own wakes the wait at the deadline.
    bool late = false;
    struct Alarm
    {
        pa_threaded_mainloop *loop;
        bool *late;
    } alarm{m_loop, &late};
    const pa_usec_t left = pa_usec_t(std::max<std::int64_t>(0, deadlineNs - monotonicNs()) / 1000);
    pa_time_event *timer = pa_context_rttime_new(
        m_context, pa_rtclock_now() + left,
        [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *data) {
            auto *a = static_cast<Alarm *>(data);
            *a->late = true;
            pa_threaded_mainloop_signal(a->loop, 0);
        },
        &alarm);
    int answer = 0;
    while ((answer = ready()) == 0 && !late)
        pa_threaded_mainloop_wait(m_loop);
    if (timer)
        pa_threaded_mainloop_get_api(m_loop)->time_free(timer);
    return answer > 0;
}

bool PulseOutput::open()
{
    closeNow();
    clearFailed();
    m_settledNs = monotonicNs() + std::int64_t(kSettlingMs) * 1'000'000;
    m_cushion = CushionSize(kQuietCushionFrames, kCushionStepFrames, kMaxCushionFrames);
    m_cushionFrames = kQuietCushionFrames;
    m_scratch.assign(std::size_t(kBlockFrames) * kChannels, 0.0f);
    const char *latency = std::getenv("PULSE_LATENCY_MSEC");
    m_latencyEnvironment = latency ? latency : "";
    const std::int64_t deadline = monotonicNs() + std::int64_t(kOpenMs) * 1'000'000;

    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return cannotOpen("no main loop");
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Tamvolo");
    if (!m_context)
        return cannotOpen("no context");
    // Told before the loop runs: no change of state goes by unseen.
    pa_context_set_state_callback(m_context, &contextChanged, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(m_loop) < 0) {
        return cannotOpen("no server");
    }
    pa_threaded_mainloop_lock(m_loop);
    const char *why = nullptr;
    const bool connected = waitUntil(deadline, [this] {
        const pa_context_state_t state = pa_context_get_state(m_context);
        return state == PA_CONTEXT_READY ? 1 : !PA_CONTEXT_IS_GOOD(state) ? -1 : 0;
    });
    if (!connected) {
        why = "the server did not answer";
    } else {
        const pa_sample_spec format = {PA_SAMPLE_FLOAT32LE, std::uint32_t(kRate), std::uint8_t(kChannels)};
        m_stream = pa_stream_new(m_context, "Tamvolo", &format, nullptr);
        if (m_stream) {
            pa_stream_set_state_callback(m_stream, &streamChanged, this);
            pa_stream_set_write_callback(m_stream, &writable, this);
            pa_stream_set_underflow_callback(m_stream, &underflow, this);
            const pa_buffer_attr attr = bufferFor(m_cushion.frames());
            if (pa_stream_connect_playback(m_stream, nullptr, &attr,
                                           pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE),
                                           nullptr, nullptr) < 0 ||
                !waitUntil(deadline, [this] {
                    const pa_stream_state_t state = pa_stream_get_state(m_stream);
                    return state == PA_STREAM_READY ? 1 : !PA_STREAM_IS_GOOD(state) ? -1 : 0;
                })) {
                why = "no playback stream (no sink, or no answer in time)";
            } else if (const pa_buffer_attr *granted = pa_stream_get_buffer_attr(m_stream)) {
                const int quiet = quietCushionFor(int(granted->minreq / kFrameBytes));
                if (quiet != m_cushion.frames()) {
                    m_cushion = CushionSize(quiet, kCushionStepFrames, std::max(quiet, kMaxCushionFrames));
                    applyCushion();
                }
            }
        } else {
            why = "no playback stream";
        }
    }
    pa_threaded_mainloop_unlock(m_loop);
    if (why)
        return cannotOpen(why);
    if (!m_latencyEnvironment.empty())
        qCDebug(lcAudio) << "PulseAudio: PULSE_LATENCY_MSEC" << m_latencyEnvironment.c_str()
                         << "is set: libpulse holds every stream of this program to it, ours too, and the cushion"
                            " cannot follow the machine";
    m_cushionSaid = m_cushionFrames.load();
    qCDebug(lcAudio) << "opened" << describe().c_str();
    return true;
}

void PulseOutput::closeNow()
{
    if (m_loop)
        pa_threaded_mainloop_stop(m_loop); // no callback runs after this
    if (m_stream) {
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_loop) {
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
    }
}

std::string PulseOutput::describe() const
{
    return "PulseAudio's own stream, blocks of " + std::to_string(kBlockFrames) + " frames at " +
        std::to_string(kRate) + " Hz, a cushion of " + std::to_string(m_cushionFrames.load()) + " frames";
}

void PulseOutput::reportOwn(std::vector<std::string> &lines)
{
    const std::uint64_t underruns = m_underruns.load(std::memory_order_relaxed);
    const int cushion = m_cushionFrames.load(std::memory_order_relaxed);
    if (underruns != m_underrunsSaid) {
        std::string line = "PulseAudio: the server ran dry (" + std::to_string(underruns) + " so far); ";
        line += cushion > m_cushionSaid ? "the cushion grows to " + std::to_string(cushion) + " frames"
                                        : "the cushion stays at " + std::to_string(cushion) + " frames";
        lines.push_back(line);
    } else if (cushion < m_cushionSaid) {
        lines.push_back("PulseAudio: " + std::to_string(CushionSize::kCleanMs / 1000) +
                        " s and more without running dry: the cushion comes down to " + std::to_string(cushion) +
                        " frames");
    }
    m_underrunsSaid = underruns;
    m_cushionSaid = cushion;
}

void PulseOutput::applyCushion()
{
    m_cushionFrames.store(m_cushion.frames(), std::memory_order_relaxed);
    const pa_buffer_attr attr = bufferFor(m_cushion.frames());
    if (pa_operation *op = pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr))
        pa_operation_unref(op);
}

void PulseOutput::contextChanged(pa_context *context, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        output->fail();
    pa_threaded_mainloop_signal(output->m_loop, 0);
}

void PulseOutput::streamChanged(pa_stream *stream, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        output->fail();
    pa_threaded_mainloop_signal(output->m_loop, 0);
}

void PulseOutput::underflow(pa_stream *, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    const std::int64_t now = monotonicNs();
    if (now < output->m_settledNs)
        return;
    output->m_underruns.fetch_add(1, std::memory_order_relaxed);
    if (output->m_cushion.hole(now))
        output->applyCushion();
}

void PulseOutput::writable(pa_stream *stream, std::size_t bytes, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    output->callbackStarted();
    // Coming down only while nothing sounds; asking the server for less
    // drops nothing it holds.
    if (const std::int64_t now = monotonicNs(); output->m_cushion.shrinkDue(now) && !output->playerSounding()) {
        output->m_cushion.shrink(now);
        output->applyCushion();
    }
    // Every frame asked for, in blocks of at most kBlockFrames: a request
    // left short would leave the server's queue short by as much.
    for (std::size_t frames = 0; (frames = std::min<std::size_t>(bytes / kFrameBytes, kBlockFrames)) > 0;
         bytes -= frames * kFrameBytes) {
        const std::size_t want = frames * kFrameBytes;
        void *data = nullptr;
        std::size_t room = want;
        if (pa_stream_begin_write(stream, &data, &room) < 0 || !data || room < want) {
            if (data)
                pa_stream_cancel_write(stream);
            data = output->m_scratch.data();
        }
        output->renderBlock(static_cast<float *>(data), int(frames), monotonicNs());
        pa_stream_write(stream, data, want, nullptr, 0, PA_SEEK_RELATIVE);
    }
}
