#pragma once

#include <QRegion>

class QWidget;

// Window outlines: a rounded rectangle made as the platform's region calls
// make it, given to a window as the part of it that is drawn and takes the
// mouse (a shape mask on X11).
namespace WindowRegion {

// The rectangle from (left, top) up to, not including, (right, bottom), with
// corners cut to ellipses of ellipseWidth × ellipseHeight pixels.
QRegion createRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);

// Gives `window` the outline `region`, redrawing it if asked.
void setWindowRgn(QWidget *window, const QRegion &region, bool redraw);

} // namespace WindowRegion
