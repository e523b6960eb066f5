#include "app/WindowRegion.h"

#include <QWidget>

#include <algorithm>

QRegion WindowRegion::createRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight)
{
    const int w = right - left;
    const int h = bottom - top;
    const int ew = std::min(ellipseWidth, w);
    const int eh = std::min(ellipseHeight, h);
    QRegion region(left + ew / 2, top, w - ew + 1, h);
    region += QRegion(left, top + eh / 2, w, h - eh + 1);
    region += QRegion(left, top, ew, eh, QRegion::Ellipse);
    region += QRegion(right - ew, top, ew, eh, QRegion::Ellipse);
    region += QRegion(left, bottom - eh, ew, eh, QRegion::Ellipse);
    region += QRegion(right - ew, bottom - eh, ew, eh, QRegion::Ellipse);
    return region & QRegion(left, top, w, h);
}

void WindowRegion::setWindowRgn(QWidget *window, const QRegion &region, bool redraw)
{
    window->setMask(region);
    if (redraw)
        window->update();
}
