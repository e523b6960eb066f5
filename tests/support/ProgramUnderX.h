#pragma once

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

    // The places a person clicks, in window coordinates.
    static QPoint patternField() { return {664, 119}; }
    static QPoint esegui() { return {620, 146}; }
    static QPoint ferma() { return {708, 146}; }
    static QPoint chiudi() { return {728, 426}; }
    static QPoint riduci() { return {620, 426}; }

private:
    static QString run(const QStringList &args);

    _XDisplay *m_display = nullptr;
    QProcess m_program;
    QString m_window;
};
