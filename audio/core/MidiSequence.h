#pragma once

#include "audio/core/MidiDecoder.h"

#include <spa/control/control.h>
#include <spa/pod/iter.h>

#include <cstdint>

// The notes of one cycle's MIDI port buffer (a PipeWire control sequence),
// each with its event's frame offset in the cycle: `heard(note, offset)`
// for every note-on `decoder` completes. Audio thread; never allocates.
template <typename Heard> void forEachNote(const void *buffer, MidiDecoder &decoder, Heard heard)
{
    auto *sequence = static_cast<spa_pod_sequence *>(const_cast<void *>(buffer));
    if (!sequence)
        return;
    spa_pod_control *control = nullptr;
    SPA_POD_SEQUENCE_FOREACH(sequence, control)
    {
        if (control->type != SPA_CONTROL_Midi)
            continue;
        const auto *bytes = static_cast<const std::uint8_t *>(SPA_POD_BODY(&control->value));
        const std::uint32_t size = SPA_POD_BODY_SIZE(&control->value);
        MidiDecoder::Note note;
        for (std::uint32_t i = 0; i < size; ++i)
            if (decoder.feed(bytes[i], note))
                heard(note, control->offset);
    }
}
