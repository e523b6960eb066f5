#include "sound/ApplicationFolder.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/ProgramUnderX.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

// The real program on a real X server, driven by real X events (XTEST): its
// rounded outline, a drag, a typed key that must come out of the sound
// device (SDL's disk driver), and "Chiudi".
class TestE2eWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ProgramUnderX m_program;

    QPoint windowPosition() const { return m_program.position(); }

    QString capturePath() const { return m_dir.filePath(QStringLiteral("capture.raw")); }

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs under xvfb-run");
        QProcessEnvironment env;
        env.insert(QStringLiteral("TAMVOLO_AUDIO"), QStringLiteral("sdl"));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), capturePath());
        QVERIFY2(m_program.start(env), "the window did not appear");
        QTest::qWait(200); // let it paint
    }

    void screenshotAtStart()
    {
        const QString folder = qEnvironmentVariable("TAMVOLO_SCREENSHOTS", QDir::currentPath());
        QDir().mkpath(folder);
        const QString png = folder + QStringLiteral("/tamvolo-start.png");
        QFile::remove(png);
        ProgramUnderX::run(QStringLiteral("import"), {"-window", m_program.windowId(), png});
        QVERIFY(QFileInfo(png).size() > 0);
    }

    void theOutlineIsRounded()
    {
        // The screen behind the window is black; the window is white at its
        // edges except where the corners are cut.
        const QPoint w = windowPosition();
        QCOMPARE(ProgramUnderX::screenPixel(w + QPoint(2, 2)), QColor(Qt::black));
        QCOMPARE(ProgramUnderX::screenPixel(w + QPoint(789, 468)), QColor(Qt::black));
        QCOMPARE(ProgramUnderX::screenPixel(w + QPoint(2, 235)), QColor(Qt::white));
        QCOMPARE(ProgramUnderX::screenPixel(w + QPoint(530, 2)), QColor(Qt::white));
    }

    void aDragOnTheDrumsMovesTheWindow()
    {
        const QPoint before = windowPosition();
        const QPoint grab = before + QPoint(20, 360); // on the drum picture, by the floor tom's feet
        const QString x = QString::number(grab.x()), y = QString::number(grab.y());
        ProgramUnderX::run(QStringLiteral("xdotool"), {"mousemove", "--sync", x, y, "mousedown", "1"});
        for (int step = 1; step <= 4; ++step) {
            ProgramUnderX::run(
                QStringLiteral("xdotool"),
                {"mousemove", "--sync", QString::number(grab.x() + 15 * step), QString::number(grab.y() - 10 * step)});
            QTest::qWait(50);
        }
        ProgramUnderX::run(QStringLiteral("xdotool"), {"mouseup", "1"});
        QTRY_COMPARE_WITH_TIMEOUT(windowPosition(), before + QPoint(60, -40), 5000);
    }

    void aTypedKeyComesOutOfTheDevice()
    {
        // Focus starts on "Esegui"; two Tabs reach the pattern field, which
        // is full: the key is refused by the field but still sounds.
        ProgramUnderX::run(QStringLiteral("xdotool"), {"windowfocus", "--sync", m_program.windowId()});
        ProgramUnderX::run(QStringLiteral("xdotool"), {"key", "--delay", "50", "Tab", "Tab", "k"});

        const auto crash = WavLoader::load(applicationFolder() + "/voc/k.wav", 48000);
        QVERIFY(crash);
        QVERIFY2(Capture::waitToFind(capturePath(), crash->stereo(), 20000) >= 0,
                 "k.wav is not in the captured output");
    }

    void chiudiEndsTheProgram()
    {
        m_program.click(ProgramUnderX::chiudi());
        QVERIFY(m_program.process().waitForFinished(10000));
        QCOMPARE(m_program.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program.process().exitCode(), 0);
    }

    void aPatternFileOnTheCommandLineIsTheLoop_data()
    {
        // The shell's command in a folder holding the file; the program is
        // "$TAMVOLO_PROGRAM".
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("command");
        QTest::newRow("a file name") << QByteArray("crash.txt") << R"(exec "$TAMVOLO_PROGRAM" crash.txt)";
        QTest::newRow("a name in Latin-1, byte for byte")
            << QByteArray("cr\xe0sh.txt") << R"sh(exec "$TAMVOLO_PROGRAM" "$(printf 'cr\340sh.txt')")sh";
        QTest::newRow("a name like one of Qt's options, after --")
            << QByteArray("-style=windows") << R"(exec "$TAMVOLO_PROGRAM" -- -style=windows)";
    }

    void aPatternFileOnTheCommandLineIsTheLoop()
    {
        // `tamvolo FILE`: the loop, started by "Esegui", plays the file's
        // pattern (crash, crash...), not the start-up one (bass drum first).
        QFETCH(QByteArray, name);
        QFETCH(QString, command);
        QTemporaryDir dir;
        // Made by its bytes: no QString holds a Latin-1 name.
        const int fd = ::open((QFile::encodeName(dir.path()) + '/' + name).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "KKKKKKK\r\n", 9), ssize_t(9));
        ::close(fd);
        const QString capture = dir.filePath(QStringLiteral("capture.raw"));
        QProcessEnvironment env;
        env.insert(QStringLiteral("TAMVOLO_AUDIO"), QStringLiteral("sdl"));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), capture);
        ProgramUnderX program;
        QVERIFY(program.start(env, 30000, {"-c", "cd \"$0\" && " + command, dir.path()}, QStringLiteral("/bin/sh")));
        program.click(ProgramUnderX::esegui());
        const auto crash = WavLoader::load(applicationFolder() + "/voc/k.wav", 48000);
        const auto kick = WavLoader::load(applicationFolder() + "/voc/v.wav", 48000);
        QVERIFY(crash && kick);
        std::vector<long long> crashes;
        QElapsedTimer waited;
        waited.start();
        while (crashes.size() < 3 && waited.elapsed() < 20000) {
            QTest::qWait(300);
            crashes = Capture::findAll(Capture::readLeft(capture), crash->stereo(), 144, 512);
        }
        QVERIFY2(crashes.size() >= 3, "the file's pattern is not what plays");
        QCOMPARE(Capture::find(Capture::readLeft(capture), kick->stereo(), 0), -1LL);
        program.click(ProgramUnderX::chiudi());
        QVERIFY(program.process().waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestE2eWindow)
#include "tst_e2e_window.moc"
