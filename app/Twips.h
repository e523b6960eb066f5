#pragma once

#include <QPoint>
#include <QRect>

#include <cmath>

// The window is laid out in twips for a 96-dpi screen: 15 twips a pixel.
// Qt's own high-dpi scaling takes the logical pixels to other screens.
namespace Twips {

constexpr int kPerPixel = 15;

// Pixels of a length in twips: to the nearest pixel, ties to even, the
// platform's default rounding. (Whole twips never fall on a tie, 15 being
// odd; fractions of a twip, as in a drag, may.)
inline int toPixels(double twips)
{
    return int(std::nearbyint(twips / kPerPixel));
}

inline QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

inline QPoint point(int x, int y)
{
    return QPoint(toPixels(x), toPixels(y));
}

} // namespace Twips
