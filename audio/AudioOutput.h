#pragma once

#include <chrono>
#include <cstdint>

class VoicePlayer;

// The sound device, through SDL: stereo float frames at kPreferredRate (or the
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
// One thread owns an AudioOutput (the engine's loader thread once started).
class AudioOutput
{
public:
    static constexpr int kPreferredRate = 48000;
    static constexpr int kBlockFrames = 256;
    static constexpr int kServerBufferMs = 20;
    // The audio thread's real-time priority, where the system grants one:
    // above ordinary work, below the sound server's own threads.
    static constexpr int kRealtimePriority = 10;

    AudioOutput() = default;
    ~AudioOutput();

    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Opens the default device, paused. False when there is none.
    bool open();

    // Starts the audio thread, which from now on calls player.render().
    // `player` must outlive this object or the next close().
    void start(VoicePlayer &player);

    // Closes the device and, with `quitSdl`, SDL's audio. A sound server that
    // stopped answering can hold the close up for ever: after `limit` the
    // device is left behind and false returned; its audio thread may then
    // still call the player, which must be kept alive.
    bool close(std::chrono::milliseconds limit = std::chrono::milliseconds(500), bool quitSdl = true);

    // True while the device is open and playing (false after it failed).
    bool isRunning() const;

    int rate() const { return m_rate; }
    int blockFrames() const { return m_blockFrames; }

private:
    static void callback(void *self, unsigned char *stream, int len);

    std::uint32_t m_device = 0;
    bool m_subsystem = false;
    int m_rate = 0;
    int m_blockFrames = 0;
    VoicePlayer *m_player = nullptr;
    bool m_realtimeAsked = false; // audio thread only
};
