#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

// Closes an SDL audio device (0 for none) and, with `quitSubsystem`, SDL's
// audio, on a helper thread: a sound server that stopped answering can hold
// the close up for ever. Waits at most `limit`; false when the close did not
// end by then (it is left to end, or not, on its own).
bool closeSdlAudio(std::uint32_t device, bool quitSubsystem, std::chrono::milliseconds limit);

// Opens SDL's audio subsystem with the program's settings: no signal
// handlers taken, no messages on the terminal, the program's name on its
// streams. False when no audio driver works, and when the PulseAudio server
// SDL would use has no default output or input, or does not answer (see
// PulseProbe); `noAnswer`, where given, is set when the server did not answer.
bool initSdlAudio(bool *noAnswer = nullptr);
