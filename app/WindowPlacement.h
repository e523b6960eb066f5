#pragma once

class QWidget;

namespace WindowPlacement {

// Shows `shown` (a window of its own) beside `window`: on its right where
// the screen has room, else on its left, its top at the window's, so that
// it never covers the drums. The UI thread.
void showBeside(QWidget &shown, const QWidget &window);

} // namespace WindowPlacement
