#include "audio/PulseOutput.h"

#include "audio/AudioLog.h"
#include "audio/MonotonicClock.h"
#include "audio/TimeLimits.h"
#include "audio/VoicePlayer.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <cstring>
#include <thread>

namespace {

constexpr std::size_t kFrameBytes = 2 * sizeof(float);

pa_buffer_attr bufferFor(int cushionFrames)
{
    pa_buffer_attr attr = {};
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(std::size_t(cushionFrames) * kFrameBytes);
    attr.prebuf = 0; // never paused to refill: a hole costs the frames it missed, not the grid
    attr.minreq = std::uint32_t(std::size_t(PulseOutput::kBlockFrames) * kFrameBytes);
    attr.fragsize = std::uint32_t(-1);
    return attr;
}

} // namespace

PulseOutput::~PulseOutput()
{
    closeNow();
}

template <typename Ready> bool PulseOutput::waitFor(Ready ready)
{
    const std::int64_t deadline = monotonicNs() + std::int64_t(kOpenMs) * 1'000'000;
    for (;;) {
        pa_threaded_mainloop_lock(m_loop);
        const int answer = ready();
        pa_threaded_mainloop_unlock(m_loop);
        if (answer != 0)
            return answer > 0;
        if (monotonicNs() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool PulseOutput::open()
{
    closeNow();
    m_failed = false;
    m_blocksWritten = 0;
    m_scratch.assign(std::size_t(kBlockFrames) * 2, 0.0f);
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return false;
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Tamvolo");
    if (!m_context || pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(m_loop) < 0) {
        qCDebug(lcAudio) << "PulseAudio: no server";
        closeNow();
        return false;
    }
    pa_context_set_state_callback(m_context, &contextChanged, this);
    const bool connected = waitFor([this] {
        const pa_context_state_t state = pa_context_get_state(m_context);
        return state == PA_CONTEXT_READY ? 1 : !PA_CONTEXT_IS_GOOD(state) ? -1 : 0;
    });
    if (!connected) {
        qCDebug(lcAudio) << "PulseAudio: the server did not answer";
        closeNow();
        return false;
    }

    pa_threaded_mainloop_lock(m_loop);
    const pa_sample_spec format = {PA_SAMPLE_FLOAT32LE, std::uint32_t(kPreferredRate), 2};
    m_stream = pa_stream_new(m_context, "Tamvolo", &format, nullptr);
    bool ok = m_stream != nullptr;
    if (ok) {
        pa_stream_set_state_callback(m_stream, &streamChanged, this);
        pa_stream_set_write_callback(m_stream, &writable, this);
        pa_stream_set_underflow_callback(m_stream, &underflow, this);
        const pa_buffer_attr attr = bufferFor(m_cushion.frames());
        ok = pa_stream_connect_playback(m_stream, nullptr, &attr,
                                        pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE),
                                        nullptr, nullptr) >= 0;
    }
    pa_threaded_mainloop_unlock(m_loop);
    ok = ok && waitFor([this] {
             const pa_stream_state_t state = pa_stream_get_state(m_stream);
             return state == PA_STREAM_READY ? 1 : !PA_STREAM_IS_GOOD(state) ? -1 : 0;
         });
    if (!ok) {
        qCDebug(lcAudio) << "PulseAudio: no playback stream";
        closeNow();
        return false;
    }
    qCDebug(lcAudio) << "opened" << describe().c_str();
    return true;
}

void PulseOutput::start(VoicePlayer &player)
{
    m_player.store(&player, std::memory_order_release);
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
    m_player.store(nullptr, std::memory_order_release);
}

bool PulseOutput::close(std::chrono::milliseconds limit, bool)
{
    if (!m_loop)
        return true;
    const bool closed = runWithin(limit, [this] { closeNow(); });
    if (!closed)
        qCDebug(lcAudio) << "PulseAudio: the stream did not close in" << limit.count() << "ms; left behind";
    return closed;
}

bool PulseOutput::isRunning() const
{
    return m_stream && !m_failed.load(std::memory_order_relaxed);
}

std::string PulseOutput::describe() const
{
    return "PulseAudio's own stream, blocks of " + std::to_string(kBlockFrames) + " frames at " +
        std::to_string(kPreferredRate) + " Hz, a cushion of " + std::to_string(m_cushion.frames()) + " frames";
}

std::string PulseOutput::service()
{
    const std::uint64_t underruns = m_underruns.load(std::memory_order_relaxed);
    if (underruns == m_underrunsSeen || !m_loop || !isRunning())
        return {};
    m_underrunsSeen = underruns;
    const std::string said = "PulseAudio: underrun " + std::to_string(underruns);
    const std::string cushion = std::to_string(m_cushion.frames()) + " frames";
    switch (m_cushion.underrun(monotonicNs())) {
    case CushionGrowth::Verdict::SameHoldUp:
        return said + " in the same hold-up; the cushion stays at " + cushion;
    case CushionGrowth::Verdict::Alone:
        return said + ", the first for a while (the machine held up once); the cushion stays at " + cushion;
    case CushionGrowth::Verdict::AtCeiling:
        return said + "; the cushion is at its ceiling of " + cushion;
    case CushionGrowth::Verdict::Grown:
        break;
    }
    pa_threaded_mainloop_lock(m_loop);
    const pa_buffer_attr attr = bufferFor(m_cushion.frames());
    if (pa_operation *op = pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr))
        pa_operation_unref(op);
    pa_threaded_mainloop_unlock(m_loop);
    return said + ", again within " + std::to_string(CushionGrowth::kRepeatMs / 1000) + " s; the cushion grows to " +
        std::to_string(m_cushion.frames()) + " frames";
}

void PulseOutput::contextChanged(pa_context *context, void *self)
{
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        static_cast<PulseOutput *>(self)->m_failed.store(true, std::memory_order_relaxed);
}

void PulseOutput::streamChanged(pa_stream *stream, void *self)
{
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        static_cast<PulseOutput *>(self)->m_failed.store(true, std::memory_order_relaxed);
}

void PulseOutput::underflow(pa_stream *, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (output->m_blocksWritten > kSettlingBlocks)
        output->m_underruns.fetch_add(1, std::memory_order_relaxed);
}

void PulseOutput::writable(pa_stream *stream, std::size_t bytes, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    askForRealtimeOnce(output->m_realtimeAsked);
    const std::size_t blockBytes = std::size_t(kBlockFrames) * kFrameBytes;
    VoicePlayer *player = output->m_player.load(std::memory_order_acquire);
    for (; bytes >= blockBytes; bytes -= blockBytes) {
        void *data = nullptr;
        std::size_t room = blockBytes;
        if (pa_stream_begin_write(stream, &data, &room) < 0 || !data || room < blockBytes) {
            if (data)
                pa_stream_cancel_write(stream);
            data = output->m_scratch.data();
        }
        auto *frames = static_cast<float *>(data);
        if (player)
            player->render(frames, kBlockFrames, monotonicNs());
        else
            std::memset(frames, 0, blockBytes);
        pa_stream_write(stream, data, blockBytes, nullptr, 0, PA_SEEK_RELATIVE);
        ++output->m_blocksWritten;
    }
}
