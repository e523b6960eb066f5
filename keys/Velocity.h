#pragma once

#include <cstdint>

// How loud a hit of each MIDI velocity plays: velocity 127 at the sample's
// own level, velocity 1 about kSoftestDb lower, in even steps of decibels
// between (what a drummer's hand hears as even steps). Plain values.
namespace Velocity {

constexpr double kSoftestDb = -30.0;

// The linear gain of `velocity` (0 plays as 1).
float loudness(std::uint8_t velocity);

} // namespace Velocity
