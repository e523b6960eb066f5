#pragma once

// The one rate of the program's sound, in frames a second: the outputs, the
// recorder's input, the takes, the exported loops, the kit. A device or a
// file at another rate is converted to it.
inline constexpr int kSampleRate = 48000;
