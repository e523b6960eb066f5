#include "app/TrayRestorer.h"

#include <QEvent>
#include <QSystemTrayIcon>
#include <QWidget>

TrayRestorer::TrayRestorer(QWidget *window, bool trayAvailable)
    : QObject(window)
    , m_window(window)
{
    if (!trayAvailable)
        return;
    m_tray = new QSystemTrayIcon(window->windowIcon(), this);
    m_tray->setObjectName(QStringLiteral("trayIcon"));
    m_tray->setToolTip(window->windowTitle());
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            restore();
    });
    window->installEventFilter(this);
}

void TrayRestorer::restore()
{
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
    if (m_tray)
        m_tray->hide();
}

bool TrayRestorer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::WindowStateChange && m_tray)
        m_tray->setVisible(m_window->isMinimized());
    return QObject::eventFilter(watched, event);
}
