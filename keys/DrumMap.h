#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which key's sound a MIDI note plays, on every channel: the General MIDI
// percussion map by default, each note to the nearest sound of the kit
// (35/36 bass drum: V; 37-40 snare, side stick, clap: B; 42/44/46 hi-hat:
// J; 41/43 floor tom: F; 45/47 low tom: G; 48/50 high tom: H; 49-59
// cymbals: K; the hand percussion to the drum or the hi-hat it is nearest),
// and the notes a user taught the program over it (learn mode), kept in a
// small text file: one "NOTE KEY" a line, the key as its character (the
// space key quoted, " ", or as blanks alone after the note), "#" beginning
// a remark.
//
// Keys are upper-case Windows-1252 codes, as the pattern field has them
// (PadTable). Plain values; one thread at a time.
class DrumMap
{
public:
    static constexpr std::uint8_t kOpenHiHat = 46;

    // What a note does to the open hi-hat sounding: the closed hi-hat (42)
    // and the pedal (44) choke it.
    static bool chokesOpenHiHat(std::uint8_t note) { return note == 42 || note == 44; }

    // The key `note` plays: the one taught for it, else the General MIDI
    // one; 0 for a note that plays nothing.
    std::uint8_t keyFor(std::uint8_t note) const;
    // Whether a key was taught for `note`.
    bool taught(std::uint8_t note) const { return note < m_taught.size() && m_taught[note] != 0; }
    // The General MIDI percussion map alone.
    static std::uint8_t generalMidi(std::uint8_t note);

    // From now on `note` plays `key` (0: the General MIDI key again).
    void learn(std::uint8_t note, std::uint8_t key);

    // The map file's text: the notes taught, in order. With the file's
    // `previous` text, that text with its remarks, blank lines and lines it
    // could not read kept as they are, each note's line given the key it
    // plays now (or dropped where it is no longer taught), and the notes
    // new to it added at its end. The space key is written quoted (" "),
    // which editors that strip trailing blanks keep.
    std::string text(std::string_view previous = {}) const;

    // A line of a map file that was skipped, and why.
    struct Fault
    {
        int line = 0;
        std::string why;
    };
    // The map a file's text teaches; lines that cannot be read are skipped,
    // each said in `faults`.
    static DrumMap fromText(std::string_view text, std::vector<Fault> &faults);

private:
    std::array<std::uint8_t, 128> m_taught{};
};
