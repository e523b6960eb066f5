#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class VoicePlayer;

// Where the voice's frames go: stereo float frames, rendered by
// VoicePlayer::render() on the output's own audio thread, in blocks of
// blockFrames(). OutputChoice chooses one for the program's run.
//
// One thread at a time owns an output (the engine's); the audio thread only
// calls the player.
class AudioOutput
{
public:
    static constexpr int kPreferredRate = 48000;
    // The audio thread's real-time priority, where the system grants one:
    // above ordinary work, below the sound server's own threads.
    static constexpr int kRealtimePriority = 10;

    AudioOutput() = default;
    virtual ~AudioOutput() = default;
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Opens the default device, silent until start(). False when there is
    // none (or no server answers).
    virtual bool open() = 0;

    // From now on the audio thread calls player.render(). `player` must
    // outlive this object or the next close().
    virtual void start(VoicePlayer &player) = 0;

    // Closes the device (with `final`, whatever else it opened for it). A
    // sound server that stopped answering can hold the close up for ever:
    // after `limit` it is left behind and false returned; its audio thread
    // may then still call the player, which must be kept alive.
    virtual bool close(std::chrono::milliseconds limit = std::chrono::milliseconds(500), bool final = true) = 0;

    // True while the device is open and playing (false after it failed or
    // its server went away).
    virtual bool isRunning() const = 0;

    virtual int rate() const = 0;
    virtual int blockFrames() const = 0;
    // Sounds start a block and this margin after their stamp: room for the
    // window system, the UI thread, the loader, and the bursts in which the
    // output asks for blocks (a stream of our own asks steadily; SDL hands
    // them on in bursts).
    virtual std::int64_t marginNs() const { return 5'000'000; }
    // What was opened, for the log.
    virtual std::string describe() const = 0;
    virtual const char *name() const = 0;
    // The engine thread, every few tens of milliseconds: looks after the
    // output (a cushion that has to grow); returns what changed, for the
    // log, or nothing.
    virtual std::string service() { return {}; }

protected:
    // The audio thread, at every callback: the first time, asks for
    // real-time scheduling (kRealtimePriority) where the thread has none and
    // the system allows it, so that a busy desktop does not make it late.
    // Refused without the right to it; then it stays as it was.
    static void askForRealtimeOnce(bool &asked);
};
