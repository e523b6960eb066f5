#pragma once

#include "audio/AudioOutput.h"

#include <cstdint>

// The sound device, through SDL (ALSA, and the sound servers where no output
// of our own serves them): stereo float frames at kPreferredRate (or the
// device's own rate), in blocks of kBlockFrames set by us, not by SDL's default
// of about 85 ms. Without a device, open() fails and nothing else happens.
// SDL's own messages and ALSA's complaints about missing cards are silenced.
//
// The sound server's buffer: SDL asks PulseAudio for a buffer of one block,
// so that any stall of the server's client handling longer than a block (5 ms)
// is a hole in the sound (measured with both cores busy by ordinary work: 5
// holes in two minutes with 12 ms, none in a minute with 16 or 20 ms). Unless the user chose
// a latency of their own (PULSE_LATENCY_MSEC, PIPEWIRE_LATENCY), the server
// is asked for kServerBufferMs instead: a cushion that rides out a busy
// machine, while the blocks we render stay small. The cushion delays every
// sound by the same amount, so it never moves the beat.
//
// SDL's own PipeWire driver (where the user names it) gives the graph one
// block each time it asks, from a thread that is not real-time: a quantum
// larger than the block plays holes, and so does a late turn of that thread
// when block and quantum are equal (measured: holes in every 20 s with
// 256-frame blocks, or 1024-frame blocks and quantum). There the block is
// kPipeWireBlockFrames (a virtual machine's floor of a quantum) and the
// graph is asked for kBlockFrames: the graph takes each block a quantum at a
// time, and the block in hand covers a late turn.
//
// One thread owns it (see AudioOutput).
class SdlOutput : public AudioOutput
{
public:
    static constexpr int kBlockFrames = 256;
    static constexpr int kServerBufferMs = 20;
    static constexpr int kPipeWireBlockFrames = 1024;

    SdlOutput() = default;
    ~SdlOutput() override;

    bool open() override;
    void start(VoicePlayer &player) override;
    // With `final`, SDL's audio is closed too.
    bool close(std::chrono::milliseconds limit = std::chrono::milliseconds(500), bool final = true) override;
    bool isRunning() const override;
    int rate() const override { return m_rate; }
    int blockFrames() const override { return m_blockFrames; }
    std::string describe() const override;
    const char *name() const override { return "SDL"; }

private:
    static void callback(void *self, unsigned char *stream, int len);

    std::uint32_t m_device = 0;
    bool m_subsystem = false;
    int m_rate = 0;
    int m_blockFrames = 0;
    VoicePlayer *m_player = nullptr;
    bool m_realtimeAsked = false; // audio thread only
};
