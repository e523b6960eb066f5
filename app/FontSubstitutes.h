#pragma once

#include <QFont>

// Freely licensed faces close to the ones the layout names, at the layout's
// sizes: points at 96 dpi, set as pixels so that text fits the controls
// whatever the screen's font resolution.
//   MS Sans Serif, Arial → Liberation Sans (Arial's metrics)
//   MS Serif             → Liberation Serif
//   Tahoma               → DejaVu Sans Condensed (Verdana's design family,
//                          narrowed as Tahoma is)
namespace FontSubstitutes {

enum class Face { MsSansSerif, MsSerif, Tahoma, Arial };

QFont font(Face face, double points, bool bold = false, bool underline = false);

} // namespace FontSubstitutes
