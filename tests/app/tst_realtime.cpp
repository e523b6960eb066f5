#include "support/PrivatePulseServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The audio threads' priority for a user who is not root, as the program
// runs on a desktop: real-time where the system grants it to the user (the
// audio group's RLIMIT_RTPRIO) or RTKit does (on the fixture's private
// system bus, scripts/system-bus.sh), a nice level where RTKit grants only
// that, and where nothing is granted, ordinary priority and a line in the
// log that says so. On PipeWire the MIDI input's data thread is one of them.
class TestRealtime : public QObject
{
    Q_OBJECT

private slots:
    void theAudioThreadRunsAtThePriorityTheUserHas_data()
    {
        // How the threads are given priority: "system" (the audio group's
        // RLIMIT_RTPRIO), "rtkit", "nice" (RTKit grants a nice level only)
        // or "" (nothing: neither the system nor RTKit, which is not there).
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("grants");
        QTest::newRow("PulseAudio, the audio group's real-time priority") << "pulse-server.sh"
                                                                          << ""
                                                                          << "system";
        QTest::newRow("PulseAudio, real time from RTKit") << "pulse-server.sh"
                                                          << ""
                                                          << "rtkit";
        QTest::newRow("PulseAudio, no real-time priority granted") << "pulse-server.sh"
                                                                   << ""
                                                                   << "";
        QTest::newRow("PipeWire, the audio group's real-time priority") << "pipewire-server.sh"
                                                                        << ""
                                                                        << "system";
        QTest::newRow("PipeWire, real time from RTKit, the pad heard on the audio thread") << "pipewire-server.sh"
                                                                                           << ""
                                                                                           << "rtkit";
        QTest::newRow("PipeWire, RTKit grants a nice level only") << "pipewire-server.sh"
                                                                  << ""
                                                                  << "nice";
        QTest::newRow("PipeWire, no real-time priority granted") << "pipewire-server.sh"
                                                                 << ""
                                                                 << "";
        QTest::newRow("SDL, the audio group's real-time priority") << "pulse-server.sh"
                                                                   << "sdl"
                                                                   << "system";
    }

    void theAudioThreadRunsAtThePriorityTheUserHas()
    {
        QFETCH(QString, script);
        QFETCH(QString, output);
        QFETCH(QString, grants);
        const QString systemBus = qEnvironmentVariable("TAMVOLO_SYSTEM_BUS");
        const bool byRtkit = grants == QLatin1String("rtkit") || grants == QLatin1String("nice");
        if (byRtkit && !QFileInfo::exists(systemBus + "/socket"))
            QSKIP("no private system bus with RTKit (scripts/system-bus.sh needs root, rtkit and polkitd)");
        if (byRtkit)
            QCOMPARE(
                QProcess::execute(QFileInfo(qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT")).path() + "/system-bus.sh",
                                  {"grant", systemBus, grants == QLatin1String("rtkit") ? "realtime" : "nice"}),
                0);
        PrivatePulseServer server(false, script, {}, true);
        QVERIFY(server.ok());
        QTemporaryDir home;
        QFile::setPermissions(home.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
        const QString runtime = home.filePath(QStringLiteral("runtime"));
        QVERIFY(QProcess::execute(QFileInfo(qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT")).path() + "/as-user.sh",
                                  {"mkdir", "-m", "700", runtime}) == 0);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(server.clientEnvironment());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tamvolo.audio=true;tamvolo.midi=true"));
        env.remove(QStringLiteral("SDL_AUDIODRIVER"));
        env.remove(QStringLiteral("TAMVOLO_AUDIO"));
        // RTKit where the row has it; elsewhere a bus nobody answers on.
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                   byRtkit ? "unix:path=" + systemBus + "/socket" : QStringLiteral("unix:path=/nonexistent"));
        if (!output.isEmpty())
            env.insert(QStringLiteral("TAMVOLO_AUDIO"), output);
        program.setProcessEnvironment(env);
        QStringList arguments;
        if (grants == QLatin1String("system"))
            arguments << "--rtprio"
                      << "95";
        arguments << QCoreApplication::applicationDirPath() + QStringLiteral("/tamvolo");
        program.start(QFileInfo(qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT")).path() + "/as-user.sh", arguments);
        QVERIFY(program.waitForStarted());
        QByteArray log;
        QElapsedTimer waited;
        waited.start();
        const int threads = 1; // on PipeWire, one node plays and hears the pad
        while (log.count("thread of") + log.count("data thread") < threads && waited.elapsed() < 15000 &&
               program.state() == QProcess::Running) {
            program.waitForReadyRead(200);
            log += program.readAllStandardError();
        }
        // Each thread's class and real-time priority, as ps shows them.
        QProcess ps;
        ps.start(QStringLiteral("ps"),
                 {"-L", "-o", "cls=,rtprio=,ni=,comm=", "-p", QString::number(program.processId())});
        QVERIFY(ps.waitForFinished(5000));
        const QString processThreads = QString::fromLocal8Bit(ps.readAllStandardOutput());
        program.terminate();
        program.waitForFinished(5000);
        const QStringList said = QString::fromUtf8(log).split('\n').filter(
            QRegularExpression(QStringLiteral("the audio thread of|the MIDI input's data thread")));
        qInfo("%s\n%s", qPrintable(said.join('\n')), qPrintable(processThreads));
        QCOMPARE(said.size(), threads);
        auto count = [&](const QString &pattern) {
            return int(processThreads.count(QRegularExpression(pattern, QRegularExpression::MultilineOption)));
        };
        const QString by = grants == QLatin1String("system") ? QStringLiteral("granted by the system")
            : grants == QLatin1String("rtkit")               ? QStringLiteral("granted by RTKit")
            : grants == QLatin1String("nice")                ? QStringLiteral("nice level -11, granted by RTKit")
                                                             : QStringLiteral("ordinary priority");
        for (const QString &line : said)
            QVERIFY2(line.contains(by), qPrintable(line));
        if (grants == QLatin1String("system"))
            QCOMPARE(count(QStringLiteral("^\\s*FF\\s+10\\s")), threads);
        else if (grants == QLatin1String("rtkit"))
            QCOMPARE(count(QStringLiteral("^\\s*RR\\s+10\\s")), threads);
        else
            QCOMPARE(count(QStringLiteral("^\\s*(FF|RR)\\s")), 0);
        if (grants == QLatin1String("nice"))
            QCOMPARE(count(QStringLiteral("^\\s*TS\\s+-\\s+-11\\s")), threads);
    }
};

QTEST_GUILESS_MAIN(TestRealtime)
#include "tst_realtime.moc"
