#include "audio/SdlOutput.h"

#include "audio/AudioLog.h"
#include "audio/MonotonicClock.h"
#include "audio/SampleBuffer.h"
#include "audio/SdlDevice.h"
#include "audio/VoicePlayer.h"

#include <SDL.h>
#include <alsa/asoundlib.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

// True where the user named SDL's PipeWire driver first (SDL_AUDIODRIVER).
bool pipeWireNamed()
{
    const char *named = std::getenv("SDL_AUDIODRIVER");
    return named && std::strncmp(named, "pipewire", 8) == 0 && (named[8] == '\0' || named[8] == ',');
}

// The sound server's buffer, unless the user set one. Set before SDL's audio
// starts (its threads read the environment) and never changed after. SDL's
// PipeWire driver hands the graph one block each time the graph asks, from a
// thread that is not real-time: there the graph is asked for a small quantum
// and given blocks of several, so that the block in hand covers a late turn.
void askForServerBuffer()
{
    if (!std::getenv("PULSE_LATENCY_MSEC"))
        setenv("PULSE_LATENCY_MSEC", std::to_string(SdlOutput::kServerBufferMs).c_str(), 0);
    if (!std::getenv("PIPEWIRE_LATENCY")) {
        const int frames =
            pipeWireNamed() ? SdlOutput::kBlockFrames : SdlOutput::kServerBufferMs * SdlOutput::kPreferredRate / 1000;
        setenv("PIPEWIRE_LATENCY", (std::to_string(frames) + "/" + std::to_string(SdlOutput::kPreferredRate)).c_str(),
               0);
    }
}

} // namespace

SdlOutput::~SdlOutput()
{
    close();
}

bool SdlOutput::open()
{
    if (m_device != 0)
        close(std::chrono::milliseconds(500), false);
    if (!m_subsystem) {
        askForServerBuffer();
        if (!initSdlAudio())
            return false;
        m_subsystem = true;
    }
    const char *driver = SDL_GetCurrentAudioDriver();
    const bool pipeWire = driver && std::strcmp(driver, "pipewire") == 0;
    const int blockFrames = pipeWire ? kPipeWireBlockFrames : kBlockFrames;

    SDL_AudioSpec want{};
    want.freq = kPreferredRate;
    want.format = AUDIO_F32SYS;
    want.channels = SampleBuffer::kOutputChannels;
    want.samples = Uint16(blockFrames);
    want.callback = &SdlOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (m_device == 0) {
        qCDebug(lcAudio) << "no audio device:" << SDL_GetError();
        return false;
    }
    m_rate = have.freq;
    m_blockFrames = have.samples;
    m_realtimeAsked = false;
    qCDebug(lcAudio) << "opened driver" << SDL_GetCurrentAudioDriver() << "at" << m_rate << "Hz, blocks of"
                     << m_blockFrames << "frames, server buffer" << std::getenv("PULSE_LATENCY_MSEC") << "ms";
    return true;
}

void SdlOutput::start(VoicePlayer &player)
{
    if (m_device == 0)
        return;
    SDL_LockAudioDevice(m_device);
    m_player = &player;
    SDL_UnlockAudioDevice(m_device);
    SDL_PauseAudioDevice(m_device, 0);
}

bool SdlOutput::close(std::chrono::milliseconds limit, bool final)
{
    const std::uint32_t device = m_device;
    const bool quit = final && m_subsystem;
    m_device = 0;
    if (quit)
        m_subsystem = false;
    if (device == 0 && !quit)
        return true;

    const bool closed = closeSdlAudio(device, quit, limit);
    if (closed)
        m_player = nullptr;
    else
        qCDebug(lcAudio) << "the device did not close in" << limit.count() << "ms; left behind";
    return closed;
}

std::string SdlOutput::describe() const
{
    const char *driver = SDL_GetCurrentAudioDriver();
    return std::string("SDL's ") + (driver ? driver : "(no)") + " driver, blocks of " + std::to_string(m_blockFrames) +
        " frames at " + std::to_string(m_rate) + " Hz";
}

bool SdlOutput::isRunning() const
{
    return m_device != 0 && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_PLAYING;
}

void SdlOutput::callback(void *self, unsigned char *stream, int len)
{
    const std::int64_t now = monotonicNs();
    auto *output = static_cast<SdlOutput *>(self);
    askForRealtimeOnce(output->m_realtimeAsked);
    const int frames = len / int(sizeof(float) * SampleBuffer::kOutputChannels);
    if (output->m_player)
        output->m_player->render(reinterpret_cast<float *>(stream), frames, now);
    else
        std::memset(stream, 0, std::size_t(len));
}
