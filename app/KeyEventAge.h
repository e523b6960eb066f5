#pragma once

#include <cstdint>

// How long ago a key event happened, from its window-system time stamp.
//
// X servers and Wayland compositors stamp input events with the monotonic
// clock in milliseconds, cut to 32 bits. Timing a key's sound from its press
// rather than from the moment the program got round to it keeps the delay
// from key to sound the same however busy the machine is.
namespace KeyEventAge {

// Ages beyond this are not believed: the stamp is from another clock (a
// remote display, a synthesized event), and the key counts as pressed now.
constexpr std::int64_t kMaxNs = 100'000'000;

// The age of an event stamped `eventMs` at monotonic time `nowNs`; 0 when the
// stamp cannot be believed. The press is taken to lie in the middle of its
// millisecond.
std::int64_t ns(std::uint32_t eventMs, std::int64_t nowNs);

} // namespace KeyEventAge
