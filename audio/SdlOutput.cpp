#include "audio/SdlOutput.h"

#include "audio/AudioLog.h"
#include "audio/MonotonicClock.h"
#include "audio/SdlDevice.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// True where the user named SDL's PipeWire driver first (SDL_AUDIODRIVER).
bool pipeWireNamed()
{
    const char *named = std::getenv("SDL_AUDIODRIVER");
    return named && std::strncmp(named, "pipewire", 8) == 0 && (named[8] == '\0' || named[8] == ',');
}

} // namespace

void SdlOutput::askServerBuffer()
{
    const int graphFrames = pipeWireNamed() ? kBlockFrames : kServerBufferMs * kRate / 1000;
    // Without overwriting: a latency the user chose stays.
    setenv("PULSE_LATENCY_MSEC", std::to_string(kServerBufferMs).c_str(), 0);
    setenv("PIPEWIRE_LATENCY", (std::to_string(graphFrames) + "/" + std::to_string(kRate)).c_str(), 0);
}

SdlOutput::~SdlOutput()
{
    closeNow();
}

bool SdlOutput::open()
{
    closeNow();
    clearFailed();
    if (!initSdlAudio())
        return cannotOpen("no audio driver, or a sound server without a sink");
    m_subsystem = true;
    const char *driver = SDL_GetCurrentAudioDriver();
    const bool sdlPipeWire = driver && std::strcmp(driver, "pipewire") == 0;

    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_F32SYS;
    want.channels = kChannels;
    want.samples = Uint16(sdlPipeWire ? kPipeWireBlockFrames : kBlockFrames);
    want.callback = &SdlOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_device == 0)
        return cannotOpen(std::string("no audio device: ") + SDL_GetError());
    m_blockFrames = have.samples;
    SDL_PauseAudioDevice(m_device, 0);
    qCDebug(lcAudio) << "opened" << describe().c_str();
    return true;
}

void SdlOutput::closeNow()
{
    if (m_device != 0)
        SDL_CloseAudioDevice(m_device); // waits for the audio thread to end
    m_device = 0;
    if (m_subsystem)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_subsystem = false;
}

bool SdlOutput::isOpen() const
{
    return m_device != 0;
}

bool SdlOutput::isRunning() const
{
    return AudioOutput::isRunning() && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_PLAYING;
}

std::string SdlOutput::describe() const
{
    const char *driver = SDL_GetCurrentAudioDriver();
    return std::string("SDL's ") + (driver ? driver : "(no)") + " driver, blocks of " + std::to_string(m_blockFrames) +
        " frames at " + std::to_string(kRate) + " Hz";
}

void SdlOutput::callback(void *self, unsigned char *stream, int len)
{
    const std::int64_t now = monotonicNs();
    auto *output = static_cast<SdlOutput *>(self);
    output->callbackStarted();
    output->renderBlock(reinterpret_cast<float *>(stream), len / int(kFrameBytes), now);
}
