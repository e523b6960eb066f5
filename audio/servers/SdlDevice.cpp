#include "audio/servers/SdlDevice.h"

#include "audio/core/AudioLog.h"
#include "audio/core/TimeLimits.h"
#include "audio/servers/PulseProbe.h"

#include <SDL.h>
#include <alsa/asoundlib.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

void quietSdlLog(void *, int, SDL_LogPriority, const char *)
{}

void quietAlsa(const char *, int, const char *, int, const char *, ...)
{}

} // namespace

bool initSdlAudio(bool *noAnswer)
{
    // No terminal noise: SDL logs driver warnings, and ALSA prints a page of
    // errors on machines without a sound card.
    SDL_LogSetOutputFunction(quietSdlLog, nullptr);
    snd_lib_error_set_handler(quietAlsa);
    // SDL would otherwise take SIGINT and SIGTERM for itself and turn them
    // into events nobody reads: the program could then not be stopped.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Tamvolo");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Tamvolo");
    // SDL's PulseAudio driver is tried first unless another is asked for;
    // on a server it would crash on, or one that does not answer, there is
    // no sound rather than a crash or a hang.
    const char *driver = SDL_getenv("SDL_AUDIODRIVER");
    if (!driver || !*driver || SDL_strcasecmp(driver, "pulseaudio") == 0) {
        switch (PulseProbe::check(std::chrono::milliseconds(PulseProbe::kProbeMs))) {
        case PulseProbe::Server::None:
        case PulseProbe::Server::Usable:
            break;
        case PulseProbe::Server::NoDevices:
            qCDebug(lcAudio) << "the sound server has no default output or input: no sound";
            return false;
        case PulseProbe::Server::NoAnswer:
            qCDebug(lcAudio) << "the sound server did not answer in" << PulseProbe::kProbeMs << "ms: no sound";
            if (noAnswer)
                *noAnswer = true;
            return false;
        }
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        qCDebug(lcAudio) << "no audio driver:" << SDL_GetError();
        return false;
    }
    return true;
}

bool closeSdlAudio(std::uint32_t device, bool quitSubsystem, std::chrono::milliseconds limit)
{
    if (device == 0 && !quitSubsystem)
        return true;
    return runWithin(limit, [device, quitSubsystem] {
        if (device != 0)
            SDL_CloseAudioDevice(device); // waits for the audio thread to end
        if (quitSubsystem)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
    });
}
