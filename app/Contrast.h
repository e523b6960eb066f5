#pragma once

#include <QColor>

// How readable a text colour is on a background, as the accessibility
// guidelines measure it (WCAG 2: relative luminance, ratio 1 to 21; 4.5 is
// enough for body text).
namespace Contrast {

constexpr double kReadable = 4.5;

double ratio(const QColor &a, const QColor &b);

// `preferred` (the theme's text colour) where it is readable on
// `background`, else black or white, whichever reads better.
QColor readableOn(const QColor &background, const QColor &preferred);

} // namespace Contrast
