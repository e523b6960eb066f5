#pragma once

#include <cstdint>
#include <optional>

// The seven drum keys and the pad lights they show, numbered in the order in
// which the lights are put out: V (bass drum), B (snare), J (hi-hat),
// H (right rack tom), G (left rack tom), F (floor tom), K (crash).
namespace DrumKeys {

constexpr int kCount = 7;

// The pad light of an upper-cased key, or nothing for keys that are no drum.
std::optional<int> padLightFor(std::uint8_t key);
// The drum of pad light `light` (0 to kCount - 1) as a drummer names it, in
// lower case: "cassa", "rullante"...
const char *drumName(int light);

} // namespace DrumKeys
