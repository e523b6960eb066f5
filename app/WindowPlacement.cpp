#include "app/WindowPlacement.h"

#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void WindowPlacement::showBeside(QWidget &shown, const QWidget &window)
{
    shown.adjustSize();
    const QRect screenArea = window.screen() ? window.screen()->availableGeometry() : QRect();
    const QRect frame = window.frameGeometry();
    QPoint at(frame.right() + 8, frame.top());
    if (screenArea.isValid() && at.x() + shown.width() > screenArea.right())
        at.setX(std::max(screenArea.left(), frame.left() - 8 - shown.width()));
    shown.move(at);
    shown.show();
    shown.raise();
    shown.activateWindow();
}

void WindowPlacement::bringBeside(QWidget &shown, const QWidget &window)
{
    if (!shown.isVisible()) {
        showBeside(shown, window);
        return;
    }
    shown.raise();
    shown.activateWindow();
}

void WindowPlacement::growWithText(QWidget &window)
{
    QLayout *laid = window.layout();
    if (!laid)
        return;
    laid->activate();
    const int needed =
        laid->hasHeightForWidth() ? laid->totalHeightForWidth(window.width()) : laid->totalSizeHint().height();
    if (needed > window.height())
        window.resize(window.width(), needed);
}
