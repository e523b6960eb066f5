#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A private sound server of a test's own, apart from the fixture's, to kill
// and to freeze: PulseAudio (scripts/pulse-server.sh) or PipeWire with
// pipewire-pulse (scripts/pipewire-server.sh), whichever TAMVOLO_PULSE_SCRIPT
// names. Both leave the PulseAudio socket and the server's PID in its folder.
class PrivatePulseServer
{
public:
    PrivatePulseServer() { m_ok = run("start"); }
    ~PrivatePulseServer() { run("stop"); }
    bool ok() const { return m_ok; }
    bool start() { return run("start"); }
    QString socket() const { return m_dir.filePath(QStringLiteral("native")); }
    QString clientConfig() const { return m_dir.filePath(QStringLiteral("client.conf")); }
    void signal(const char *name) const
    {
        QFile pid(m_dir.filePath(QStringLiteral("pid")));
        if (pid.open(QIODevice::ReadOnly))
            QProcess::execute(QStringLiteral("kill"),
                              {QStringLiteral("-") + name, QString::fromLatin1(pid.readAll()).trimmed()});
    }
    // What a client process needs to reach this server.
    QProcessEnvironment clientEnvironment() const
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket());
        env.insert(QStringLiteral("PULSE_CLIENTCONFIG"), clientConfig());
        env.insert(QStringLiteral("PIPEWIRE_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        return env;
    }

    // Points this process's clients (SDL, the capture) at this server.
    void use() const
    {
        qputenv("PULSE_SERVER", ("unix:" + socket()).toLocal8Bit());
        qputenv("PULSE_CLIENTCONFIG", clientConfig().toLocal8Bit());
        qputenv("PIPEWIRE_RUNTIME_DIR", m_dir.filePath(QStringLiteral("runtime")).toLocal8Bit());
    }

private:
    bool run(const char *what)
    {
        return QProcess::execute(qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT"), {QLatin1String(what), m_dir.path()}) ==
            0;
    }

    QTemporaryDir m_dir;
    bool m_ok = false;
};
