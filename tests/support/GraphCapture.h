#pragma once

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <cstdint>
#include <mutex>
#include <vector>

// Records a PipeWire sink's monitor with the graph's own time of every
// frame: a capture stream of the graph itself, each buffer kept with the
// time of the cycle it came in (the graph's clock, which is the monotonic
// clock). Both channels are kept. A frame then has the time it was
// played in the graph, to the frame, whatever the machine did meanwhile.
//
// start() and the readers on one thread; the stream runs on its own.
class GraphCapture
{
public:
    ~GraphCapture() { stop(); }

    // Connects to the sink `target` of the server PIPEWIRE_RUNTIME_DIR names.
    bool start(const char *target = "tamvolo_out")
    {
        pw_init(nullptr, nullptr);
        m_loop = pw_thread_loop_new("graph-capture", nullptr);
        if (!m_loop)
            return false;
        pw_properties *props =
            pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_STREAM_CAPTURE_SINK,
                              "true", PW_KEY_TARGET_OBJECT, target, PW_KEY_NODE_LATENCY, "256/48000", nullptr);
        m_events.version = PW_VERSION_STREAM_EVENTS;
        m_events.process = [](void *self) { static_cast<GraphCapture *>(self)->process(); };
        pw_thread_loop_lock(m_loop);
        m_stream = pw_stream_new_simple(pw_thread_loop_get_loop(m_loop), "graph-capture", props, &m_events, this);
        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_audio_info_raw info = {};
        info.format = SPA_AUDIO_FORMAT_F32;
        info.rate = 48000;
        info.channels = 2;
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
        const spa_pod *params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
        const bool ok = m_stream &&
            pw_stream_connect(
                m_stream, PW_DIRECTION_INPUT, PW_ID_ANY,
                pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS),
                params, 1) >= 0;
        pw_thread_loop_unlock(m_loop);
        return ok && pw_thread_loop_start(m_loop) >= 0;
    }

    void stop()
    {
        if (m_loop)
            pw_thread_loop_stop(m_loop);
        if (m_stream)
            pw_stream_destroy(m_stream);
        m_stream = nullptr;
        if (m_loop)
            pw_thread_loop_destroy(m_loop);
        m_loop = nullptr;
    }

    std::vector<float> left() const
    {
        const std::lock_guard lock(m_mutex);
        return m_left;
    }

    std::vector<float> right() const
    {
        const std::lock_guard lock(m_mutex);
        return m_right;
    }

    // A channel (0 left, 1 right) on the graph's clock: a cycle the graph
    // lost (its time moved on by more than the frames before it) is silence
    // of the length it lost, so that frames apart in the recording are as far
    // apart as they were played, whatever the machine dropped meanwhile.
    std::vector<float> onGraphClock(int channel = 0) const
    {
        const std::lock_guard lock(m_mutex);
        const std::vector<float> &wave = channel == 0 ? m_left : m_right;
        std::vector<float> out;
        out.reserve(wave.size());
        for (std::size_t i = 0; i < m_cycles.size(); ++i) {
            const long long from = m_cycles[i].firstFrame;
            const long long to = i + 1 < m_cycles.size() ? m_cycles[i + 1].firstFrame : (long long)wave.size();
            if (i > 0) {
                const long long before = from - m_cycles[i - 1].firstFrame;
                const long long elapsed = (m_cycles[i].graphNs - m_cycles[i - 1].graphNs) * 48 / 1'000'000;
                // Lost: at least half a cycle's worth beyond the one before (a timer's jitter is far less).
                if (before > 0 && elapsed - before > before / 2)
                    out.insert(out.end(), std::size_t((elapsed - before + before / 2) / before * before), 0.0f);
            }
            out.insert(out.end(), wave.begin() + from, wave.begin() + to);
        }
        return out;
    }

    // The graph's time at which frame `frame` of the recording was played,
    // in nanoseconds of the monotonic clock; -1 when unknown.
    double timeOf(long long frame) const
    {
        const std::lock_guard lock(m_mutex);
        for (auto it = m_cycles.rbegin(); it != m_cycles.rend(); ++it)
            if (it->firstFrame <= frame)
                return double(it->graphNs) + double(frame - it->firstFrame) * 1e9 / 48000.0;
        return -1;
    }

private:
    void process()
    {
        pw_buffer *b = pw_stream_dequeue_buffer(m_stream);
        if (!b)
            return;
        const spa_data &d = b->buffer->datas[0];
        pw_time time = {};
        pw_stream_get_time_n(m_stream, &time, sizeof time);
        if (d.data && d.chunk) {
            const auto *frames = static_cast<const float *>(d.data);
            const std::size_t count = d.chunk->size / (2 * sizeof(float));
            const std::lock_guard lock(m_mutex);
            m_cycles.push_back({(long long)m_left.size(), time.now});
            for (std::size_t i = 0; i < count; ++i) {
                m_left.push_back(frames[2 * i]);
                m_right.push_back(frames[2 * i + 1]);
            }
        }
        pw_stream_queue_buffer(m_stream, b);
    }

    struct Cycle
    {
        long long firstFrame;
        std::int64_t graphNs;
    };
    pw_thread_loop *m_loop = nullptr;
    pw_stream *m_stream = nullptr;
    pw_stream_events m_events = {};
    mutable std::mutex m_mutex;
    std::vector<float> m_left;
    std::vector<float> m_right;
    std::vector<Cycle> m_cycles;
};
