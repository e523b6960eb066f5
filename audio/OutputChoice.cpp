#include "audio/OutputChoice.h"

#include "audio/AudioLog.h"
#include "audio/PipeWireOutput.h"
#include "audio/PulseOutput.h"
#include "audio/PulseProbe.h"
#include "audio/SdlOutput.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kProbeMs = 500;

} // namespace

std::unique_ptr<AudioOutput> OutputChoice::choose()
{
    const char *forced = std::getenv("TAMVOLO_AUDIO");
    const char *sdlDriver = std::getenv("SDL_AUDIODRIVER");
    std::unique_ptr<AudioOutput> chosen;
    const char *why = "";
    if (forced && std::strcmp(forced, "pipewire") == 0) {
        chosen = std::make_unique<PipeWireOutput>();
        why = "TAMVOLO_AUDIO asks for it";
    } else if (forced && std::strcmp(forced, "pulseaudio") == 0) {
        chosen = std::make_unique<PulseOutput>();
        why = "TAMVOLO_AUDIO asks for it";
    } else if (forced && std::strcmp(forced, "sdl") == 0) {
        chosen = std::make_unique<SdlOutput>();
        why = "TAMVOLO_AUDIO asks for it";
    } else if (sdlDriver && *sdlDriver) {
        chosen = std::make_unique<SdlOutput>();
        why = "SDL_AUDIODRIVER names a driver";
    } else if (PipeWireOutput::serverAnswers()) {
        chosen = std::make_unique<PipeWireOutput>();
        why = "a PipeWire server answers";
    } else if (PulseProbe::check(std::chrono::milliseconds(kProbeMs)) == PulseProbe::Server::Usable) {
        chosen = std::make_unique<PulseOutput>();
        why = "a PulseAudio server answers";
    } else {
        chosen = std::make_unique<SdlOutput>();
        why = "no sound server answers";
    }
    qCDebug(lcAudio) << "output chosen:" << chosen->name() << "(" << why << ")";
    return chosen;
}
