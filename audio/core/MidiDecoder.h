#pragma once

#include <cstddef>
#include <cstdint>

// Turns a raw MIDI byte stream into note hits, the one thing a drum pad
// sends that the program plays: a note-on with a velocity above 0 (a note-on
// with velocity 0 is a note-off, as running status sends it). Everything
// else is read past safely: running status, system common messages,
// SysEx of any length, real-time bytes (clock, start...) anywhere, even
// inside another message, and messages cut short by the next status byte.
//
// Plain state over bytes fed in order; no allocation. One thread at a time.
class MidiDecoder
{
public:
    struct Note
    {
        std::uint8_t channel = 0; // 0 to 15 (the "channel 10" of drums is 9)
        std::uint8_t note = 0;
        std::uint8_t velocity = 0; // 1 to 127
    };

    // Feeds one byte; true, and the note in `hit`, when it completes a
    // note-on with a velocity.
    bool feed(std::uint8_t byte, Note &hit);

    // Forgets a message in progress (a new stream, or a source that went).
    void reset();

private:
    std::uint8_t m_status = 0; // the running status, 0 for none
    std::uint8_t m_data[2] = {};
    int m_have = 0;
    bool m_sysex = false;
};
