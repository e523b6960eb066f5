#pragma once

#include "audio/AudioOutput.h"

#include <memory>

namespace OutputChoice {

// The output for the program's run, chosen once (the engine's thread):
// - TAMVOLO_AUDIO=pipewire, pulseaudio or sdl forces that output;
// - else, where the user asked SDL for a driver (SDL_AUDIODRIVER), SDL;
// - else PipeWire's own stream where a PipeWire server answers, then
//   PulseAudio's own stream where a PulseAudio server (or pipewire-pulse)
//   answers with a sink, then SDL (ALSA and the rest).
// The tamvolo.audio log says which, and what it opened.
std::unique_ptr<AudioOutput> choose();

} // namespace OutputChoice
