#include "app/SessionBus.h"

#include <QByteArray>
#include <QtGlobal>

#include <unistd.h>

void SessionBus::neverAutolaunch()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = "/run/user/" + QByteArray::number(uint(getuid()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime + "/bus");
}
