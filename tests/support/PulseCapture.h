#pragma once

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Records what came out of a PulseAudio sink, from its monitor, as a person
// listening would hear it: 48 kHz stereo float, left channel kept.
//
// The capture's frames are tied to the monotonic clock by the server's own
// timing: after each read, the time now less the stream's latency is when the
// last frame read was captured. A straight line through all reads places
// every frame: the sink's clock may run off the monotonic one (a null sink
// runs a few hundred parts per million slow), so its rate is measured too.
//
// start(), stop() and the readers run on one thread; the recording runs on a
// thread of its own.
class PulseCapture
{
public:
    static constexpr int kRate = 48000;
    static constexpr int kReadFrames = 256;

    ~PulseCapture() { stop(); }

    // Connects to the server named by PULSE_SERVER (or the default). False
    // when there is no such server or device.
    bool start(const char *device = "tamvolo_out.monitor")
    {
        pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kRate, 2};
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.fragsize = kReadFrames * 2 * sizeof(float);
        int error = 0;
        m_pa = pa_simple_new(nullptr, "tamvolo-test", PA_STREAM_RECORD, device, "capture", &format, nullptr, &attr,
                             &error);
        if (!m_pa)
            return false;
        m_running = true;
        m_thread = std::thread([this] { record(); });
        return true;
    }

    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
        if (m_pa) {
            pa_simple_free(m_pa);
            m_pa = nullptr;
        }
    }

    // Frames recorded so far.
    std::size_t frames() const
    {
        const std::lock_guard lock(m_mutex);
        return m_left.size();
    }

    std::vector<float> left() const
    {
        const std::lock_guard lock(m_mutex);
        return m_left;
    }

    // Right minus left: what a client played on the right channel alone,
    // apart from sounds that are the same on both (the program's).
    std::vector<float> side() const
    {
        const std::lock_guard lock(m_mutex);
        return m_side;
    }

    // Frames on the monotonic clock: frame f came out of the sink at
    // at0 + f × nsPerFrame.
    struct Line
    {
        double at0 = 0.0;
        double nsPerFrame = 1e9 / kRate;
    };

    // The line through the reads from frame `from` on.
    Line timeline(double from = 0) const
    {
        const std::lock_guard lock(m_mutex);
        return fitLocked(from);
    }

private:
    void record()
    {
        std::vector<float> block(2 * kReadFrames);
        while (m_running) {
            int error = 0;
            if (pa_simple_read(m_pa, block.data(), block.size() * sizeof(float), &error) < 0)
                return;
            const auto now = double(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
            const pa_usec_t latency = pa_simple_get_latency(m_pa, &error);
            const std::lock_guard lock(m_mutex);
            for (int i = 0; i < kReadFrames; ++i) {
                m_left.push_back(block[2 * std::size_t(i)]);
                m_side.push_back(block[2 * std::size_t(i) + 1] - block[2 * std::size_t(i)]);
            }
            m_reads.push_back({double(m_left.size() - 1), now - double(latency) * 1000.0});
        }
    }

    pa_simple *m_pa = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    mutable std::mutex m_mutex;
    std::vector<float> m_left;
    std::vector<float> m_side;
    struct Read
    {
        double frame; // the last frame of a read
        double ns;    // when it was captured, as the server tells it
    };
    std::vector<Read> m_reads;

    // Least squares through the reads, measured from the first one.
    Line fitLocked(double from) const
    {
        Line line;
        const auto first =
            std::find_if(m_reads.begin(), m_reads.end(), [from](const Read &r) { return r.frame >= from; });
        if (m_reads.end() - first < 2)
            return line;
        const double f0 = first->frame, t0 = first->ns;
        double sf = 0, st = 0, sff = 0, sft = 0, n = 0;
        for (auto r = first; r != m_reads.end(); ++r, ++n) {
            const double f = r->frame - f0, t = r->ns - t0;
            sf += f;
            st += t;
            sff += f * f;
            sft += f * t;
        }
        line.nsPerFrame = (n * sft - sf * st) / (n * sff - sf * sf);
        line.at0 = t0 + (st - line.nsPerFrame * sf) / n - line.nsPerFrame * f0;
        return line;
    }
};
