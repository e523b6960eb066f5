#include "support/ProgramUnderX.h"

#include "audio/core/MonotonicClock.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

ProgramUnderX::~ProgramUnderX()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(5000);
    }
    if (m_display)
        XCloseDisplay(m_display);
}

bool ProgramUnderX::start(const QProcessEnvironment &extra, int timeoutMs, const QStringList &arguments,
                          const QString &launcher)
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const QString &name : extra.keys())
        env.insert(name, extra.value(name));
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/tamvolo");
    env.insert(QStringLiteral("TAMVOLO_PROGRAM"), program);
    m_program.setProcessEnvironment(env);
    m_program.start(launcher.isEmpty() ? program : launcher, arguments);
    if (!m_program.waitForStarted())
        return false;
    // One connection to the X server waits for the window: a new one every
    // few milliseconds, beside the program connecting, now and then makes
    // Xvfb refuse the program.
    m_window =
        run(QStringLiteral("timeout"),
            {QString::number(timeoutMs / 1000), "xdotool", "search", "--sync", "--onlyvisible", "--name", "^Tamvolo$"},
            timeoutMs + 5000)
            .section('\n', 0, 0);
    if (m_window.isEmpty())
        return false;
    QThread::msleep(300); // let it paint
    xdotool({"windowfocus", "--sync", m_window});
    return true;
}

QPoint ProgramUnderX::position() const
{
    return windowPosition(m_window);
}

QPoint ProgramUnderX::windowPosition(const QString &windowId)
{
    QPoint p;
    for (const QString &line : xdotool({"getwindowgeometry", "--shell", windowId}).split('\n')) {
        if (line.startsWith("X="))
            p.setX(line.mid(2).toInt());
        if (line.startsWith("Y="))
            p.setY(line.mid(2).toInt());
    }
    return p;
}

QImage ProgramUnderX::screen()
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("screen.png"));
    run(QStringLiteral("import"), {"-window", "root", png});
    return QImage(png);
}

QColor ProgramUnderX::screenPixel(QPoint at)
{
    const QImage image = screen();
    return image.isNull() ? QColor() : image.pixelColor(at);
}

QPoint ProgramUnderX::point(const char *place, const char *window)
{
    QFile table(QStringLiteral(TAMVOLO_WINDOW_POINTS));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return {-1, -1};
    while (!table.atEnd()) {
        const QList<QByteArray> words = table.readLine().simplified().split(' ');
        if (words.size() == 4 && words[0] == window && words[1] == place)
            return {words[2].toInt(), words[3].toInt()};
    }
    return {-1, -1};
}

void ProgramUnderX::click(QPoint at)
{
    const QPoint p = position() + at;
    XTestFakeMotionEvent(m_display, -1, p.x(), p.y(), 0);
    XTestFakeButtonEvent(m_display, 1, True, 0);
    XTestFakeButtonEvent(m_display, 1, False, 20);
    XFlush(m_display);
    QThread::msleep(60);
}

std::int64_t ProgramUnderX::key(const char *name, bool control)
{
    const KeyCode code = XKeysymToKeycode(m_display, XStringToKeysym(name));
    const KeyCode ctrl = XKeysymToKeycode(m_display, XK_Control_L);
    if (control)
        XTestFakeKeyEvent(m_display, ctrl, True, 0);
    const std::int64_t sent = monotonicNs();
    XTestFakeKeyEvent(m_display, code, True, 0);
    XFlush(m_display);
    XTestFakeKeyEvent(m_display, code, False, 5);
    if (control)
        XTestFakeKeyEvent(m_display, ctrl, False, 0);
    XFlush(m_display);
    return sent;
}

void ProgramUnderX::typePattern(const char *text)
{
    click(patternField());
    key("a", true);
    key("BackSpace");
    for (const char *c = text; *c; ++c) {
        key(QByteArray(1, *c).constData());
        QThread::msleep(30);
    }
}

QString ProgramUnderX::run(const QString &tool, const QStringList &args, int timeoutMs)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(timeoutMs);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}
