#pragma once

#include <QObject>

class QSocketNotifier;

// The ways a desktop ends a program that are not "Chiudi": SIGTERM (a
// logout, `kill`), SIGINT (Ctrl+C in a terminal) and SIGHUP (its terminal
// closed). Each is turned into quitAsked() on the UI thread, so that the
// program ends the way "Chiudi" ends it: the sound faded out, nothing the
// user made lost. The handler only writes the signal's number into a pipe
// (all a signal handler may safely do); the UI thread reads it.
//
// SIGPIPE is ignored for the whole program from install() on: a log piped
// into a reader that quit (`tamvolo 2>&1 | head -n1`) loses the log, not
// the program.
//
// One object, made on the UI thread before the event loop runs.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    QuitSignals(const QuitSignals &) = delete;
    QuitSignals &operator=(const QuitSignals &) = delete;

    // Any thread, before other threads start: SIGPIPE ignored.
    static void ignoreBrokenPipe();

signals:
    // A second signal while the first is being answered is taken as the
    // same request.
    void quitAsked(int signal);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
