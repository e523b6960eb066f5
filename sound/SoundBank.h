#pragma once

#include <cstdint>
#include <string_view>

class SoundSink;

// Plays the sample `name` of the sample folder: the application folder, then
// "/voc/", then the name, joined as they are. One request to the sound sink;
// returns at once; nothing is reported. With no sink installed, nothing plays.
void PlaySample(std::string_view name);

// The same, for a sound that stands for time `stampNs` of the sound clock
// (SoundBank::nowNs()) rather than for now: a loop step due at that time.
void PlaySample(std::string_view name, std::int64_t stampNs);

namespace SoundBank {

// Installs the sink that receives every request (the audio engine in the
// program, a recorder in tests); null removes it. Not owned.
void setSink(SoundSink *sink);

// The sound clock: the installed sink's clock, or the monotonic clock.
std::int64_t nowNs();

} // namespace SoundBank
