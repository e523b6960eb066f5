#pragma once

#include "audio/outputs/AudioOutput.h"

#include <memory>
#include <string>

// Which output the program plays through, opened (the engine's thread):
// - TAMVOLO_AUDIO=pipewire, pulseaudio (or pulse) or sdl asks for that
//   output, and only that one is tried; pipewire-stream asks for PipeWire's
//   own stream beside a MIDI node of its own (the way a graph at another
//   rate than ours is served); any other value is said in the log and the
//   default holds;
// - by default, PipeWire: one node of ours that plays and hears the pad
//   (PipeWireNodeOutput) where its graph has an audio sink, then PulseAudio's own
//   stream where a PulseAudio server (or pipewire-pulse) answers with a sink,
//   then SDL (ALSA and the rest).
// Environment set for other programs chooses nothing: SDL_AUDIODRIVER picks
// SDL's driver only when SDL is the output.
class MidiHub;

namespace OutputChoice {

struct Attempt
{
    std::unique_ptr<AudioOutput> output; // opened; null when none could be
    std::string why;                     // why this one, or why none
};

// Prepares the environment for the output asked for (SdlOutput's server
// buffer). Main thread, before any other thread starts; never blocks.
void prepareEnvironment();

// Opens the first output that can play now. SDL, costly to try, is tried
// only with `trySdl`. PipeWire's node hears the pad through `hub`.
// Waits at most a few AudioOutput::kOpenMs.
Attempt open(bool trySdl, MidiHub &hub);

// Whether PipeWire's own stream may serve better than `current`: the choice
// is the default one, `current` is another output, and a PipeWire server
// answers. Never blocks for long (a socket probe).
bool pipeWireWouldServeBetter(const AudioOutput &current);
// PipeWire's own stream, opened where its graph can play; null where it
// cannot. Waits at most AudioOutput::kOpenMs.
std::unique_ptr<AudioOutput> openPipeWire(MidiHub &hub);

} // namespace OutputChoice
