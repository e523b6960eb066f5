#pragma once

class QWidget;

namespace WindowPlacement {

// Shows `shown` (a window of its own) beside `window`: on its right where
// the screen has room, else on its left, its top at the window's, so that
// it never covers the drums. The UI thread.
void showBeside(QWidget &shown, const QWidget &window);
// The same for a window not shown yet; one already shown is raised where
// the user put it.
void bringBeside(QWidget &shown, const QWidget &window);

// Makes `window` as tall as its layout needs at its width, where it is not
// (its wrapped texts grew), at any scale; it never shrinks or widens it.
void growWithText(QWidget &window);

} // namespace WindowPlacement
