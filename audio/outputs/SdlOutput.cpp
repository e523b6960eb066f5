#include "audio/outputs/SdlOutput.h"

#include "audio/core/AudioLog.h"
#include "audio/core/MonotonicClock.h"
#include "audio/core/TimeLimits.h"
#include "audio/servers/SdlDevice.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// True where the user named SDL's PipeWire driver first (SDL_AUDIODRIVER).
bool pipeWireNamed()
{
    const char *named = std::getenv("SDL_AUDIODRIVER");
    return named && std::strncmp(named, "pipewire", 8) == 0 && (named[8] == '\0' || named[8] == ',');
}

// An open of SDL's audio still stuck on its helper thread: SDL is not
// opened again beside it.
std::atomic<bool> g_stuck{false};

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
    // SDL's drivers wait on their servers as long as those like (its
    // PulseAudio driver, on a PipeWire without a sink, for ever): opened on
    // a helper thread, within kOpenMs. The device starts paused, so a late
    // one never calls back; it is closed where it ends.
    struct Opened
    {
        std::uint32_t device = 0;
        bool subsystem = false;
        int blockFrames = 0;
        std::string why;
    };
    if (g_stuck.load())
        return cannotOpen("an earlier open of SDL's audio has not ended");
    auto opened = std::make_shared<Opened>();
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_F32SYS;
    want.channels = kChannels;
    want.callback = &SdlOutput::callback;
    want.userdata = this;
    g_stuck.store(true);
    const bool inTime = runWithin(
        std::chrono::milliseconds(kOpenMs),
        [opened, want]() mutable {
            if (!initSdlAudio()) {
                opened->why = "no audio driver, or a sound server without a sink";
                return;
            }
            opened->subsystem = true;
            const char *driver = SDL_GetCurrentAudioDriver();
            const bool sdlPipeWire = driver && std::strcmp(driver, "pipewire") == 0;
            want.samples = Uint16(sdlPipeWire ? kPipeWireBlockFrames : kBlockFrames);
            SDL_AudioSpec have{};
            opened->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
            opened->blockFrames = have.samples;
            if (opened->device == 0)
                opened->why = std::string("no audio device: ") + SDL_GetError();
        },
        [opened] {
            if (opened->device != 0)
                SDL_CloseAudioDevice(opened->device);
            if (opened->subsystem)
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
            g_stuck.store(false);
        });
    if (!inTime) // the helper's late close clears g_stuck
        return cannotOpen("SDL did not open its device in " + std::to_string(kOpenMs) + " ms");
    g_stuck.store(false);
    m_subsystem = opened->subsystem;
    m_device = opened->device;
    if (m_device == 0)
        return cannotOpen(opened->why);
    m_blockFrames = opened->blockFrames;
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
