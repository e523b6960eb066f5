#pragma once

#include "audio/outputs/AudioOutput.h"

#include <cstdint>

// The sound device through SDL: ALSA, and the sound servers where no output
// of our own serves them. Stereo float frames at kRate (SDL converts for a
// device at another rate), in blocks of kBlockFrames set by us, not by SDL's
// default of about 85 ms. SDL_AUDIODRIVER, where the user set it, chooses
// SDL's driver. SDL's own messages and ALSA's complaints about missing cards
// are silenced.
//
// SDL asks a sound server for a buffer of one block, which any stall of the
// server's client handling longer than a block turns into a hole. Where SDL
// is the output asked for, askServerBuffer() asks the server for
// kServerBufferMs instead, through the environment the server's client
// library reads, before any other thread runs (another thread's getenv may
// read the environment while setenv moves it).
// SDL's own PipeWire driver gives the graph one block each time it asks,
// from a thread that is not real-time: there the block is
// kPipeWireBlockFrames and the graph is asked for kBlockFrames, so that the
// block in hand covers a late turn (docs/sound.md has the measurements).
//
// SDL does not say when the server played a hole: stream time catches up
// with the monotonic clock after a stall (StreamClock).
class SdlOutput : public AudioOutput
{
public:
    static constexpr int kBlockFrames = 256;
    static constexpr int kServerBufferMs = 20;
    static constexpr int kPipeWireBlockFrames = 1024;

    SdlOutput() = default;
    ~SdlOutput() override;

    // Sets PULSE_LATENCY_MSEC and PIPEWIRE_LATENCY where the user chose no
    // latency. Main thread, before any other thread starts; never blocks.
    static void askServerBuffer();

    bool open() override;
    bool isRunning() const override;
    std::int64_t marginNs() const override { return 5'000'000; }
    bool followsHoles() const override { return false; }
    std::string describe() const override;
    const char *name() const override { return "SDL"; }

protected:
    void closeNow() override;
    bool isOpen() const override;

private:
    static void callback(void *self, unsigned char *stream, int len);

    std::uint32_t m_device = 0;
    bool m_subsystem = false;
    int m_blockFrames = 0;
};
