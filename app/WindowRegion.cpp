#include "app/WindowRegion.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace {

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

xcb_connection_t *xcbConnection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The part of an X window that takes the mouse, leaving what is drawn alone.
// `region` is in the window's pixels, `scale` device pixels to one of them.
void setInputShape(xcb_connection_t *connection, xcb_window_t window, const QRegion &region, double scale)
{
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect &r : region) {
        const QRect device =
            QRectF(r.x() * scale, r.y() * scale, r.width() * scale, r.height() * scale).toAlignedRect();
        rectangles.push_back({std::int16_t(device.x()), std::int16_t(device.y()), std::uint16_t(device.width()),
                              std::uint16_t(device.height())});
    }
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                         std::uint32_t(rectangles.size()), rectangles.data());
    xcb_flush(connection);
}

} // namespace

bool WindowRegion::isComposited()
{
    if (onWayland())
        return true;
    xcb_connection_t *connection = xcbConnection();
    if (!connection)
        return false;
    const char *name = "_NET_WM_CM_S0";
    const auto atomCookie = xcb_intern_atom(connection, 1, std::uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(connection, atomCookie, nullptr);
    if (!atom)
        return false;
    const bool exists = atom->atom != XCB_NONE;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (!exists)
        return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner)
        return false;
    const bool owned = owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
}

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
    if (window->testAttribute(Qt::WA_TranslucentBackground) && window->isWindow()) {
        // The window draws its own outline: the region is where it takes
        // the mouse.
        window->winId(); // the native window, made now if need be
        if (xcb_connection_t *connection = xcbConnection())
            setInputShape(connection, xcb_window_t(window->winId()), region, window->devicePixelRatioF());
        else if (QWindow *handle = window->windowHandle())
            handle->setMask(region); // Wayland: the input region
        if (redraw)
            window->update();
        return;
    }
    window->setMask(region);
    if (redraw)
        window->update();
}
