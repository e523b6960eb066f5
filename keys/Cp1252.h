#pragma once

#include <cstdint>
#include <optional>

// The Windows-1252 character set: key codes of the pattern field and bytes of
// pattern files are in it. Codes 0x00-0x7F and 0xA0-0xFF equal their Unicode
// code points; 0x80-0x9F map through a small table (five of them are unused).
namespace Cp1252 {

// The Unicode character of a code, or nothing for the five unused codes.
std::optional<char32_t> toUnicode(std::uint8_t code);

// The code of a Unicode character, or nothing if the set lacks it.
std::optional<std::uint8_t> fromUnicode(char32_t ch);

// A byte of a Windows-1252 text as a character. The five unused codes stand
// for the control characters of the same number (U+0081...), as Windows reads
// them, so that every byte comes back unchanged from encodeChar().
char32_t decodeByte(std::uint8_t byte);

// A character as a byte of a Windows-1252 text: "?" when the set lacks it.
std::uint8_t encodeChar(char32_t ch);

// The code of the upper-case form of a code's character, where that form is
// itself in the set (à→À, ÿ→Ÿ, š→Š, œ→Œ, ž→Ž); every other code is returned
// unchanged (ß, µ, digits, punctuation, control codes).
std::uint8_t toUpper(std::uint8_t code);

} // namespace Cp1252
