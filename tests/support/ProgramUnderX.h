#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <cstdint>

struct _XDisplay;

// The real program on an X server (the one DISPLAY names), driven by real X
// events through XTEST, as a person's mouse and keyboard would drive it.
// Key presses note the monotonic time at which they were sent.
class ProgramUnderX
{
public:
    ~ProgramUnderX();

    // Starts the program with `extra` added to this process's environment,
    // and `arguments`, and waits for its window. False if either fails. With
    // a `launcher` (a shell), that is started with `arguments` instead, and
    // finds the program's path in $TAMVOLO_PROGRAM.
    bool start(const QProcessEnvironment &extra, int timeoutMs = 30000, const QStringList &arguments = {},
               const QString &launcher = {});

    QProcess &process() { return m_program; }

    // The X window id of the program's window, as xdotool and xprop take it.
    QString windowId() const { return m_window; }

    // The window's top-left corner on the screen.
    QPoint position() const;

    // A left click at `at`, in window coordinates.
    void click(QPoint at);

    // Presses the key named `name` (an X keysym name: "v", "BackSpace"),
    // with Control when asked, and releases it; returns the monotonic time
    // the press was sent.
    std::int64_t key(const char *name, bool control = false);

    // Replaces the pattern with `text` (lower-case letters), typed.
    void typePattern(const char *text);

    // A place a person clicks, in coordinates of the window named `window`,
    // from the one table of them that the scripts read too
    // (tests/support/window-points.txt); (-1, -1) for a place not there.
    static QPoint point(const char *place, const char *window = "main");
    static QPoint patternField() { return point("pattern-field"); }
    static QPoint esegui() { return point("esegui"); }
    static QPoint ferma() { return point("ferma"); }
    static QPoint chiudi() { return point("chiudi"); }
    static QPoint riduci() { return point("riduci"); }

    // Runs `tool` (xdotool, xprop, import...) with `args` and returns what it
    // printed, trimmed; gives it `timeoutMs` at the most.
    static QString run(const QString &tool, const QStringList &args, int timeoutMs = 20000);
    // The top-left corner on the screen of the X window `windowId`.
    static QPoint windowPosition(const QString &windowId);
    // The whole screen as it shows now, and one pixel of it.
    static QImage screen();
    static QColor screenPixel(QPoint at);

private:
    static QString xdotool(const QStringList &args) { return run(QStringLiteral("xdotool"), args); }

    _XDisplay *m_display = nullptr;
    QProcess m_program;
    QString m_window;
};
