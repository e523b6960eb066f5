#pragma once

#include <QColor>

// Colour values as the layout writes them: &H00BBGGRR, or with the top bit
// set, a system colour (&H8000000F is the face of buttons).
namespace VbColor {

constexpr quint32 kButtonFace = 0x8000000F;
constexpr quint32 kLightGrey = 0x00E0E0E0;
constexpr quint32 kWhite = 0x00FFFFFF;
constexpr quint32 kBlack = 0x00000000;
constexpr quint32 kGreen = 0x0000FF00;
constexpr quint32 kGrey = 0x00808080;
constexpr quint32 kDarkRed = 0x00000080;

QColor toColor(quint32 value);

} // namespace VbColor
