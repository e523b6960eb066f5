#include "keys/Cp1252.h"

#include <array>

namespace {

// 0x80-0x9F; 0 marks a code the set leaves unused.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

namespace Cp1252 {

std::optional<char32_t> toUnicode(std::uint8_t code)
{
    if (code < 0x80 || code >= 0xA0)
        return char32_t(code);
    const char32_t ch = kHigh[code - 0x80];
    if (ch == 0)
        return std::nullopt;
    return ch;
}

std::optional<std::uint8_t> fromUnicode(char32_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return std::uint8_t(ch);
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] != 0 && kHigh[i] == ch)
            return std::uint8_t(0x80 + i);
    }
    return std::nullopt;
}

char32_t decodeByte(std::uint8_t byte)
{
    return toUnicode(byte).value_or(char32_t(byte));
}

std::uint8_t encodeChar(char32_t ch)
{
    if (const auto code = fromUnicode(ch))
        return *code;
    if (ch >= 0x80 && ch < 0xA0 && !toUnicode(std::uint8_t(ch)))
        return std::uint8_t(ch); // one of the five unused codes, read back as itself
    return '?';
}

std::uint8_t toUpper(std::uint8_t code)
{
    if (code >= 'a' && code <= 'z')
        return std::uint8_t(code - 0x20);
    switch (code) {
    case 0x9A:
        return 0x8A; // š → Š
    case 0x9C:
        return 0x8C; // œ → Œ
    case 0x9E:
        return 0x8E; // ž → Ž
    case 0xFF:
        return 0x9F; // ÿ → Ÿ
    default:
        break;
    }
    // à..þ → À..Þ, except ÷ (0xF7), which has no case.
    if (code >= 0xE0 && code <= 0xFE && code != 0xF7)
        return std::uint8_t(code - 0x20);
    return code;
}

} // namespace Cp1252
