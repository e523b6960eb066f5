#pragma once

// Where the desktop's session bus is, said before Qt looks for it.
//
// Qt asks the session bus whether a tray is there. With no bus address in the
// environment, the D-Bus library would start a bus of its own through
// dbus-launch, forking this many-threaded program to do it, and the window
// could wait for that child forever. A desktop puts its bus in the
// environment or at $XDG_RUNTIME_DIR/bus; that is the only place looked at,
// so where there is no bus the answer is "none", at once. UI thread, before
// QApplication.
namespace SessionBus {
void neverAutolaunch();
}
