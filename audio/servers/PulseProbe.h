#pragma once

#include <chrono>

// Asks the PulseAudio server (or PipeWire's, which speaks its protocol) that
// SDL would use whether it can be used at all, before SDL is let near it.
// SDL 2.26 crashes inside its PulseAudio driver on a server that has no
// default sink or no default source (it copies the missing name), so such a
// server counts as no sound at all.
//
// Waits at most `limit` on the server; any thread.
namespace PulseProbe {

// How long a server has to say what it has.
constexpr int kProbeMs = 500;

enum class Server {
    None,      // no server answers at the address: SDL may try other drivers
    Usable,    // a default sink and a default source
    NoDevices, // a server without a default sink or source
    NoAnswer,  // a server that does not answer within the limit (frozen)
};

Server check(std::chrono::milliseconds limit);

} // namespace PulseProbe
