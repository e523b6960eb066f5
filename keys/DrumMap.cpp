#include "keys/DrumMap.h"

#include "keys/Cp1252.h"
#include "keys/PadTable.h"

#include <algorithm>
#include <charconv>
#include <optional>

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

namespace {

std::string keyText(std::uint8_t key)
{
    return key == ' ' ? std::string("\" \"") : utf8(Cp1252::toUnicode(key).value_or(U'?'));
}

// A line's note and key, or false (a remark, a blank line, one that cannot
// be read, with `why` said where it is a fault).
bool readLine(std::string_view line, int &note, std::uint8_t &key, const char *&why)
{
    why = nullptr;
    if (const std::size_t remark = line.find('#'); remark != std::string_view::npos)
        line = line.substr(0, remark);
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    // Blanks alone after the note: the space key, as older files wrote it.
    std::string_view blanks = line.substr(std::min(line.size(), line.find_first_of(" \t")));
    const bool onlyBlanks = blanks.size() >= 2 && blanks.find_first_not_of(" \t") == std::string_view::npos;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    if (line.empty())
        return false;
    const std::size_t space = line.find_first_of(" \t");
    note = -1;
    const std::string_view noteText = line.substr(0, space);
    const auto [rest, error] = std::from_chars(noteText.data(), noteText.data() + noteText.size(), note);
    if ((space == std::string_view::npos && !onlyBlanks) || error != std::errc() ||
        rest != noteText.data() + noteText.size() || note < 0 || note > 127) {
        why = "not a note from 0 to 127 and a key";
        return false;
    }
    std::string_view keyText = space == std::string_view::npos ? std::string_view() : line.substr(space);
    while (!keyText.empty() && (keyText.front() == ' ' || keyText.front() == '\t'))
        keyText.remove_prefix(1);
    if (keyText.size() == 3 && keyText.front() == '"' && keyText.back() == '"')
        keyText = keyText.substr(1, 1);
    const auto code =
        keyText.empty() && onlyBlanks ? std::optional<std::uint8_t>(' ') : Cp1252::fromUnicode(oneCharacter(keyText));
    key = code ? Cp1252::toUpper(*code) : 0;
    if (key == 0 || !hasSound(key)) {
        why = "the key is not one character with a sound";
        return false;
    }
    return true;
}

} // namespace

std::string DrumMap::text(std::string_view previous) const
{
    std::string text = previous.empty() ? "# Tamvolo: MIDI notes and the keys whose sound they play\n" : "";
    std::array<bool, 128> written{};
    while (!previous.empty()) {
        const std::size_t end = previous.find('\n');
        const std::string_view line = previous.substr(0, end);
        previous = end == std::string_view::npos ? std::string_view() : previous.substr(end + 1);
        int note = -1;
        std::uint8_t key = 0;
        const char *why = nullptr;
        if (!readLine(line, note, key, why)) {
            text += std::string(line) + "\n";
            continue;
        }
        const auto n = std::size_t(note);
        if (m_taught[n] == 0 || written[n])
            continue;
        written[n] = true;
        const std::size_t remark = line.find('#');
        text += std::to_string(note) + " " + keyText(m_taught[n]) +
            (remark == std::string_view::npos ? std::string() : " " + std::string(line.substr(remark))) + "\n";
    }
    for (std::size_t note = 0; note < m_taught.size(); ++note)
        if (m_taught[note] != 0 && !written[note])
            text += std::to_string(note) + " " + keyText(m_taught[note]) + "\n";
    return text;
}

DrumMap DrumMap::fromText(std::string_view text, std::vector<Fault> &faults)
{
    DrumMap map;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        int note = -1;
        std::uint8_t key = 0;
        const char *why = nullptr;
        if (readLine(line, note, key, why))
            map.learn(std::uint8_t(note), key);
        else if (why)
            faults.push_back({number, why});
    }
    return map;
}
