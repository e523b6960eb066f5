#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Which sample each key of the live pads plays. Keys are Windows-1252 codes of
// upper-case characters; a key may have several rows, and every matching row
// fires in table order (the hyphen: "Laser.wav", then "trat.wav").
class PadTable
{
public:
    struct Row
    {
        std::uint8_t key;
        std::string_view file;
    };

    // Every row, in table order.
    static std::span<const Row> rows();

    // The file names of the rows whose key is `key`, in table order; empty
    // for a key without a row.
    static std::vector<std::string_view> lookup(std::uint8_t key);
};
