#pragma once

#include <QPoint>
#include <QRect>

// The window is laid out in twips for a 96-dpi screen: 15 twips a pixel.
// Qt's own high-dpi scaling takes the logical pixels to other screens.
namespace Twips {

constexpr int kPerPixel = 15;

constexpr int toPixels(int twips)
{
    return (twips + kPerPixel / 2) / kPerPixel;
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
