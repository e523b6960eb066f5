#pragma once

#include <QRegion>

class QWidget;

// Window outlines: a rounded rectangle made as the platform's region calls
// make it, given to a window as the part of it that is drawn and takes the
// mouse (a shape mask on X11).
//
// Where the window system composites windows with an alpha channel, a
// window draws its own outline, anti-aliased, on a transparent background,
// and the region only says where it takes the mouse; elsewhere the region
// is the 1-bit shape of the window.
namespace WindowRegion {

// The rectangle from (left, top) up to, not including, (right, bottom), with
// corners cut to ellipses of ellipseWidth × ellipseHeight pixels.
QRegion createRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);

// Gives `window` the outline `region`, redrawing it if asked.
void setWindowRgn(QWidget *window, const QRegion &region, bool redraw);

// True where windows are composited with an alpha channel: on Wayland, and
// on X while a compositing manager runs (it holds _NET_WM_CM_S0).
bool isComposited();

} // namespace WindowRegion
