#include "keys/DrumMap.h"

#include "keys/Cp1252.h"
#include "keys/PadTable.h"

#include <charconv>

namespace {

// General MIDI percussion, notes 27 to 87, to the kit's drum keys.
// clang-format off
constexpr std::array<char, 61> kGeneralMidi = {
    'B', 'B', 'B', 'B', 'B', 'B', 'J', 'K', // 27-34: high Q, slap, scratches, sticks, click, metronome click, bell
    'V', 'V',                               // 35-36: bass drums
    'B', 'B', 'B', 'B',                     // 37-40: side stick, snare, hand clap, electric snare
    'F', 'J', 'F', 'J', 'G', 'J', 'G',      // 41-47: floor toms, closed, pedal and open hi-hat, low toms
    'H', 'K', 'H',                          // 48-50: high toms, crash
    'K', 'K', 'K', 'J', 'K', 'J', 'K', 'J', 'K', // 51-59: rides, china, tambourine, splash, cowbell, crash, vibraslap
    'H', 'H', 'H', 'H', 'G', 'G', 'F',      // 60-66: bongos, congas, timbales
    'J', 'J', 'J', 'J', 'J', 'J', 'J', 'J', // 67-74: agogos, cabasa, maracas, whistles, guiros
    'B', 'B', 'B', 'G', 'G', 'J', 'J',      // 75-81: claves, wood blocks, cuicas, triangles
    'J', 'J', 'K', 'B', 'V', 'V',           // 82-87: shaker, jingle bell, bell tree, castanets, surdos
};
// clang-format on

std::string utf8(char32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
    return s;
}

// The one character `text` holds (UTF-8), or 0.
char32_t oneCharacter(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto b = std::uint8_t(text[0]);
    std::size_t length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 0;
    if (length == 0 || text.size() != length)
        return 0;
    char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : (b & 0x0F);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = std::uint8_t(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3F);
    }
    return c;
}

bool hasSound(std::uint8_t key)
{
    return !PadTable::lookup(key).empty();
}

} // namespace

std::uint8_t DrumMap::generalMidi(std::uint8_t note)
{
    if (note < 27 || note > 87)
        return 0;
    return std::uint8_t(kGeneralMidi[std::size_t(note - 27)]);
}

std::uint8_t DrumMap::keyFor(std::uint8_t note) const
{
    if (note >= m_taught.size())
        return 0;
    return m_taught[note] != 0 ? m_taught[note] : generalMidi(note);
}

void DrumMap::learn(std::uint8_t note, std::uint8_t key)
{
    if (note < m_taught.size())
        m_taught[note] = key;
}

std::string DrumMap::text() const
{
    std::string text = "# Tamvolo: MIDI notes and the keys whose sound they play\n";
    for (std::size_t note = 0; note < m_taught.size(); ++note) {
        if (m_taught[note] == 0)
            continue;
        text += std::to_string(note) + " " + utf8(Cp1252::toUnicode(m_taught[note]).value_or(U'?')) + "\n";
    }
    return text;
}

DrumMap DrumMap::fromText(std::string_view text, std::vector<Fault> &faults)
{
    DrumMap map;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (const std::size_t remark = line.find('#'); remark != std::string_view::npos)
            line = line.substr(0, remark);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const std::size_t space = line.find_first_of(" \t");
        int note = -1;
        const std::string_view noteText = line.substr(0, space);
        const auto [rest, error] = std::from_chars(noteText.data(), noteText.data() + noteText.size(), note);
        if (space == std::string_view::npos || error != std::errc() || rest != noteText.data() + noteText.size() ||
            note < 0 || note > 127) {
            faults.push_back({number, "not a note from 0 to 127 and a key"});
            continue;
        }
        std::string_view keyText = line.substr(space);
        while (!keyText.empty() && (keyText.front() == ' ' || keyText.front() == '\t'))
            keyText.remove_prefix(1);
        const auto code = Cp1252::fromUnicode(oneCharacter(keyText));
        const std::uint8_t key = code ? Cp1252::toUpper(*code) : 0;
        if (key == 0 || !hasSound(key)) {
            faults.push_back({number, "the key is not one character with a sound"});
            continue;
        }
        map.learn(std::uint8_t(note), key);
    }
    return map;
}
