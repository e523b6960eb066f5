#pragma once

#include <QByteArray>

// Whether Qt will find a display to open the window on, asked before
// QApplication is made: where it finds none, Qt ends the program with an
// abort and a message about reinstalling it. Run over ssh or from cron,
// Tamvolo says instead that there is no display.
namespace GraphicalDisplay {

// `platform` and `display` as given with -platform and -display (empty: not
// given). A platform that needs no display (offscreen, vnc...) is left to Qt.
// UI thread, before QApplication; connects to the X server for a moment.
bool reachable(const QByteArray &platform, const QByteArray &display);

} // namespace GraphicalDisplay
