#include "app/GraphicalDisplay.h"

#include <QList>
#include <QtGlobal>

#include <sys/stat.h>
#include <xcb/xcb.h>

namespace {

bool xServerAnswers(QByteArray display)
{
    if (display.isEmpty())
        display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return false;
    xcb_connection_t *connection = xcb_connect(display.constData(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

bool waylandSocketThere()
{
    QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty())
        name = "wayland-0";
    const QByteArray path = name.startsWith('/') ? name : qgetenv("XDG_RUNTIME_DIR") + '/' + name;
    struct stat st = {};
    return !path.startsWith('/') ? false : stat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

} // namespace

bool GraphicalDisplay::reachable(const QByteArray &platform, const QByteArray &display)
{
    const QByteArray chosen = platform.isEmpty() ? qgetenv("QT_QPA_PLATFORM") : platform;
    if (chosen.isEmpty())
        return xServerAnswers(display) || waylandSocketThere();
    // A list to try in turn ("wayland;xcb"), each with options after ':'.
    for (const QByteArray &entry : chosen.split(';')) {
        const QByteArray name = entry.left(entry.indexOf(':') < 0 ? entry.size() : entry.indexOf(':'));
        if (name == "xcb") {
            if (xServerAnswers(display))
                return true;
        } else if (name.startsWith("wayland")) {
            if (waylandSocketThere())
                return true;
        } else if (!name.isEmpty()) {
            return true;
        }
    }
    return false;
}
