#include "support/PrivatePulseServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The audio thread's priority for a user who is not root, as the program
// runs on a desktop: real-time where the system grants it to the user (the
// audio group's RLIMIT_RTPRIO), and where it does not, ordinary priority and
// a line in the log that says so.
class TestRealtime : public QObject
{
    Q_OBJECT

private slots:
    void theAudioThreadRunsAtThePriorityTheUserHas_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("granted");
        QTest::newRow("PulseAudio, the audio group's real-time priority") << "pulse-server.sh"
                                                                          << "" << true;
        QTest::newRow("PulseAudio, no real-time priority granted") << "pulse-server.sh"
                                                                   << "" << false;
        QTest::newRow("PipeWire, the audio group's real-time priority") << "pipewire-server.sh"
                                                                        << "" << true;
        QTest::newRow("PipeWire, no real-time priority granted") << "pipewire-server.sh"
                                                                 << "" << false;
        QTest::newRow("SDL, the audio group's real-time priority") << "pulse-server.sh"
                                                                   << "sdl" << true;
    }

    void theAudioThreadRunsAtThePriorityTheUserHas()
    {
        QFETCH(QString, script);
        QFETCH(QString, output);
        QFETCH(bool, granted);
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
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tamvolo.audio=true"));
        env.remove(QStringLiteral("SDL_AUDIODRIVER"));
        env.remove(QStringLiteral("TAMVOLO_AUDIO"));
        if (!output.isEmpty())
            env.insert(QStringLiteral("TAMVOLO_AUDIO"), output);
        program.setProcessEnvironment(env);
        QStringList arguments;
        if (granted)
            arguments << "--rtprio"
                      << "95";
        arguments << QCoreApplication::applicationDirPath() + QStringLiteral("/tamvolo");
        program.start(QFileInfo(qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT")).path() + "/as-user.sh", arguments);
        QVERIFY(program.waitForStarted());
        QByteArray log;
        QElapsedTimer waited;
        waited.start();
        while (!log.contains("the audio thread of") && waited.elapsed() < 15000 &&
               program.state() == QProcess::Running) {
            program.waitForReadyRead(200);
            log += program.readAllStandardError();
        }
        // Each thread's class and real-time priority, as ps shows them.
        QProcess ps;
        ps.start(QStringLiteral("ps"), {"-L", "-o", "cls=,rtprio=,comm=", "-p", QString::number(program.processId())});
        QVERIFY(ps.waitForFinished(5000));
        const QString threads = QString::fromLocal8Bit(ps.readAllStandardOutput());
        program.terminate();
        program.waitForFinished(5000);
        const QString said =
            QString::fromUtf8(log).split('\n').filter(QStringLiteral("the audio thread of")).join('\n');
        qInfo("%s\n%s", qPrintable(said), qPrintable(threads));
        QVERIFY2(!said.isEmpty(), log.constData());
        const bool realtime = threads.contains(
            QRegularExpression(QStringLiteral("^\\s*FF\\s+10\\s"), QRegularExpression::MultilineOption));
        QCOMPARE(realtime, granted);
        QCOMPARE(said.contains(QStringLiteral("granted by the system")), granted);
        QCOMPARE(said.contains(QStringLiteral("ordinary priority")), !granted);
    }
};

QTEST_GUILESS_MAIN(TestRealtime)
#include "tst_realtime.moc"
