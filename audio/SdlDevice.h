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

// Runs `work` on a helper thread and waits at most `limit` for it: a sound
// server that stopped answering holds SDL up for as long as it likes. True
// when `work` ended in time (what it wrote may then be read). Otherwise false,
// and `whenLate` runs on the helper thread once `work` ends, to undo what it
// opened; both must own (or share) everything they touch.
bool runWithin(std::chrono::milliseconds limit, std::function<void()> work, std::function<void()> whenLate = {});
