#include "keys/PadTable.h"

#include <array>

namespace {

// clang-format off
constexpr std::array<PadTable::Row, 54> kRows = {{
    { 65, "a.wav"}, // A
    {192, "a.wav"}, // À
    { 66, "b.wav"}, // B
    { 68, "d.wav"}, // D
    { 69, "e.wav"}, // E
    {200, "è.wav"}, // È
    {201, "è.wav"}, // É
    { 70, "f.wav"}, // F
    { 71, "g.wav"}, // G
    { 72, "h.wav"}, // H
    { 73, "i.wav"}, // I
    { 89, "i.wav"}, // Y
    {204, "i.wav"}, // Ì
    { 74, "J.wav"}, // J
    { 67, "k.wav"}, // C
    { 75, "k.wav"}, // K
    { 76, "l.wav"}, // L
    { 77, "m.wav"}, // M
    { 78, "n.wav"}, // N
    { 79, "o.wav"}, // O
    {210, "ò.wav"}, // Ò
    { 80, "p.wav"}, // P
    { 81, "q.wav"}, // Q
    { 82, "r.wav"}, // R
    { 83, "s.wav"}, // S
    { 84, "t.wav"}, // T
    { 85, "u.wav"}, // U
    { 87, "u.wav"}, // W
    {217, "u.wav"}, // Ù
    { 86, "v.wav"}, // V
    { 88, "x.wav"}, // X
    { 90, "z.wav"}, // Z
    { 44, "Stamp.wav"}, // comma
    { 39, "Stamp.wav"}, // apostrophe
    { 46, "Explode.wav"}, // full stop
    { 32, "sla.wav"}, // space
    { 92, "sla.wav"}, // backslash
    { 47, "Laser.wav"}, // slash
    { 42, "Laser.wav"}, // asterisk
    { 43, "Laser.wav"}, // plus
    { 45, "Laser.wav"}, // hyphen
    { 48, "nu.wav"}, // 0
    { 49, "nu.wav"}, // 1
    { 50, "nu.wav"}, // 2
    { 51, "nu.wav"}, // 3
    { 52, "nu.wav"}, // 4
    { 53, "nu.wav"}, // 5
    { 54, "nu.wav"}, // 6
    { 55, "nu.wav"}, // 7
    { 56, "nu.wav"}, // 8
    { 57, "nu.wav"}, // 9
    {163, "nu.wav"}, // pound sign
    { 45, "trat.wav"}, // hyphen
    { 95, "trat.wav"}, // underscore
}};
// clang-format on

} // namespace

std::span<const PadTable::Row> PadTable::rows()
{
    return kRows;
}

std::vector<std::string_view> PadTable::lookup(std::uint8_t key)
{
    std::vector<std::string_view> files;
    for (const Row &row : kRows) {
        if (row.key == key)
            files.push_back(row.file);
    }
    return files;
}
