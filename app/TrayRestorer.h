#pragma once

#include <QObject>

class QSystemTrayIcon;
class QWidget;

// A window without a taskbar button cannot be brought back from minimised on
// many desktops. While such a window is minimised, this shows a tray icon
// (the window's icon, tooltip its title) whose click restores it. Where the
// desktop has no tray, the window keeps its taskbar button instead (the
// window's owner decides, by trayAvailable).
class TrayRestorer : public QObject
{
    Q_OBJECT

public:
    TrayRestorer(QWidget *window, bool trayAvailable);

    // Restores the window and puts the tray icon away.
    void restore();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    QSystemTrayIcon *m_tray = nullptr;
};
