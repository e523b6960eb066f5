// libFuzzer target: any bytes as a MIDI stream; every hit it gives is a note-on
// with a note and a velocity in range.
#include "audio/core/MidiDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    MidiDecoder decoder;
    MidiDecoder::Note note;
    for (std::size_t i = 0; i < size; ++i)
        if (decoder.feed(data[i], note) &&
            (note.note > 127 || note.velocity == 0 || note.velocity > 127 || note.channel > 15))
            __builtin_trap();
    return 0;
}
