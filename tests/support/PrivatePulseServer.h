#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A private sound server of a test's own, apart from the fixture's, to kill
// and to freeze: PulseAudio (scripts/pulse-server.sh) or PipeWire with
// pipewire-pulse (scripts/pipewire-server.sh), whichever TAMVOLO_PULSE_SCRIPT
// names, or `script` (its name in scripts/) with `settings` in its
// environment. Both leave the PulseAudio socket and the server's PID in its
// folder. Started at once, unless `later`; with `forUser`, reachable by the
// normal user of scripts/as-user.sh, as a desktop's server is by the user it
// runs for (it runs here as the tests do, with its real-time priority).
class PrivatePulseServer
{
public:
    explicit PrivatePulseServer(bool later = false, const QString &script = {},
                                const QProcessEnvironment &settings = {}, bool forUser = false)
        : m_settings(settings)
    {
        const QString scripts = QFileInfo(qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT")).path();
        m_script = script.isEmpty() ? qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT") : scripts + "/" + script;
        if (forUser)
            m_settings.insert(QStringLiteral("TAMVOLO_SERVER_SHARED"), QStringLiteral("1"));
        if (!later)
            m_ok = run("start");
    }
    ~PrivatePulseServer() { run("stop"); }
    bool ok() const { return m_ok; }
    bool start() { return run("start"); }
    // The script's own actions: start, stop, session...
    bool run(const char *what)
    {
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(m_settings);
        script.setProcessEnvironment(env);
        script.setProcessChannelMode(QProcess::ForwardedChannels);
        script.start(m_script, {QLatin1String(what), m_dir.path()});
        return script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
    }
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
    QString m_script;
    QProcessEnvironment m_settings;
    QTemporaryDir m_dir;
    bool m_ok = false;
};
