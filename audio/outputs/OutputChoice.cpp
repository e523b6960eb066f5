#include "audio/outputs/OutputChoice.h"

#include "audio/core/AudioLog.h"
#include "audio/outputs/PipeWireNodeOutput.h"
#include "audio/outputs/PipeWireOutput.h"
#include "audio/outputs/PulseOutput.h"
#include "audio/outputs/SdlOutput.h"
#include "audio/servers/PipeWireSession.h"
#include "audio/servers/PulseProbe.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

enum class Asked { Any, PipeWire, PipeWireStream, PulseAudio, Sdl };

// Read at each open: a test, or the program's own environment, may change it.
Asked asked()
{
    const char *value = std::getenv("TAMVOLO_AUDIO");
    if (!value || !*value)
        return Asked::Any;
    if (std::strcmp(value, "pipewire") == 0)
        return Asked::PipeWire;
    if (std::strcmp(value, "pipewire-stream") == 0)
        return Asked::PipeWireStream;
    if (std::strcmp(value, "pulseaudio") == 0 || std::strcmp(value, "pulse") == 0)
        return Asked::PulseAudio;
    if (std::strcmp(value, "sdl") == 0)
        return Asked::Sdl;
    static std::once_flag said;
    std::call_once(said, [value] {
        qCDebug(lcAudio) << "TAMVOLO_AUDIO" << value
                         << "names no output (pipewire, pipewire-stream, pulseaudio or pulse, sdl): the default "
                            "choice holds";
    });
    return Asked::Any;
}

// Opens `output`; adds why not to `whyNot`.
bool tryOpen(AudioOutput &output, std::string &whyNot)
{
    if (output.open())
        return true;
    whyNot += (whyNot.empty() ? "" : "; ") + std::string(output.name()) + ": " + output.whyNot();
    return false;
}

} // namespace

void OutputChoice::prepareEnvironment()
{
    if (asked() == Asked::Sdl)
        SdlOutput::askServerBuffer();
}

bool OutputChoice::pipeWireWouldServeBetter(const AudioOutput &current)
{
    return asked() == Asked::Any && std::strcmp(current.name(), "PipeWire") != 0 && PipeWireSession::serverAnswers();
}

namespace {

// The node, unless the stream is asked for or the graph runs at another rate.
std::unique_ptr<AudioOutput> pipeWireOutput(MidiHub &hub)
{
    if (asked() == Asked::PipeWireStream || PipeWireNodeOutput::gaveWay())
        return std::make_unique<PipeWireOutput>();
    return std::make_unique<PipeWireNodeOutput>(hub);
}

} // namespace

std::unique_ptr<AudioOutput> OutputChoice::openPipeWire(MidiHub &hub)
{
    auto output = pipeWireOutput(hub);
    return output->open() ? std::move(output) : nullptr;
}

OutputChoice::Attempt OutputChoice::open(bool trySdl, MidiHub &hub)
{
    Attempt attempt;
    std::string whyNot;
    auto pipeWire = [&] {
        auto output = pipeWireOutput(hub);
        return tryOpen(*output, whyNot) ? std::move(output) : nullptr;
    };
    auto pulse = [&]() -> std::unique_ptr<AudioOutput> {
        auto output = std::make_unique<PulseOutput>();
        return tryOpen(*output, whyNot) ? std::move(output) : nullptr;
    };
    auto sdl = [&]() -> std::unique_ptr<AudioOutput> {
        auto output = std::make_unique<SdlOutput>();
        return tryOpen(*output, whyNot) ? std::move(output) : nullptr;
    };
    switch (asked()) {
    case Asked::PipeWire:
    case Asked::PipeWireStream:
        attempt.output = pipeWire();
        attempt.why = "TAMVOLO_AUDIO asks for it";
        break;
    case Asked::PulseAudio:
        attempt.output = pulse();
        attempt.why = "TAMVOLO_AUDIO asks for it";
        break;
    case Asked::Sdl:
        attempt.output = trySdl ? sdl() : nullptr;
        attempt.why = "TAMVOLO_AUDIO asks for it";
        break;
    case Asked::Any:
        if ((attempt.output = pipeWire())) {
            attempt.why = "its graph can play";
            break;
        }
        switch (PulseProbe::check(std::chrono::milliseconds(PulseProbe::kProbeMs))) {
        case PulseProbe::Server::Usable:
            if ((attempt.output = pulse())) {
                attempt.why = "a PulseAudio server answers with a sink";
                return attempt;
            }
            break;
        case PulseProbe::Server::None:
            whyNot += "; PulseAudio: no server answers";
            break;
        case PulseProbe::Server::NoDevices:
            whyNot += "; PulseAudio: the server has no sink";
            break;
        case PulseProbe::Server::NoAnswer:
            whyNot += "; PulseAudio: the server does not answer";
            break;
        }
        if (trySdl && (attempt.output = sdl()))
            attempt.why = "no sound server of our own can play";
        break;
    }
    if (!attempt.output)
        attempt.why = whyNot.empty() ? "no sound server answers" : whyNot;
    return attempt;
}
