#pragma once

#include <cstdint>

class VoicePlayer;

// The sound device, through SDL: stereo float frames at kPreferredRate (or the
// device's own rate), in blocks of kBlockFrames set by us, not by SDL's default
// of about 85 ms. Without a device, open() fails and nothing else happens.
// SDL's own messages and ALSA's complaints about missing cards are silenced.
class AudioOutput
{
public:
    static constexpr int kPreferredRate = 48000;
    static constexpr int kBlockFrames = 256;
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

    void close();

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
