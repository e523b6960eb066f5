#pragma once

#include <string_view>

class SoundSink;

// Plays the sample `name` of the sample folder: the application folder, then
// "/voc/", then the name, joined as they are. One request to the sound sink;
// returns at once; nothing is reported. With no sink installed, nothing plays.
void PlaySample(std::string_view name);

namespace SoundBank {

// Installs the sink that receives every request (the audio engine in the
// program, a recorder in tests); null removes it. Not owned.
void setSink(SoundSink *sink);

} // namespace SoundBank
