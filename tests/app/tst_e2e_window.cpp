#include "sound/ApplicationFolder.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/Correlation.h"
#include "support/ProgramUnderX.h"
#include "support/WavBytes.h"

#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
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

    void aKitFileOnTheCommandLineIsUnpackedAndPlays()
    {
        // `tamvolo FILE.h2drumkit` (a file manager's "Apri con"): the kit is
        // unpacked among the user's kits, remembered, and V plays its kick.
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Scatola")));
        std::vector<double> tone(14400);
        for (std::size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.5 * std::sin(2 * M_PI * 1000.0 * double(i) / 48000.0);
        QFile sample(home.filePath(QStringLiteral("Scatola/kick.wav")));
        QFile xml(home.filePath(QStringLiteral("Scatola/drumkit.xml")));
        QVERIFY(sample.open(QIODevice::WriteOnly) && sample.write(WavBytes::make(tone, 1, 48000, 16, false)) > 0);
        QVERIFY(xml.open(QIODevice::WriteOnly) &&
                xml.write("<drumkit_info><name>Scatola</name><instrumentList><instrument><name>Kick</name>"
                          "<midiOutNote>36</midiOutNote><filename>kick.wav</filename></instrument>"
                          "</instrumentList></drumkit_info>") > 0);
        sample.close();
        xml.close();
        QCOMPARE(QProcess::execute(
                     QStringLiteral("tar"),
                     {"czf", home.filePath(QStringLiteral("scatola.h2drumkit")), "-C", home.path(), "Scatola"}),
                 0);
        QVERIFY(QDir(home.filePath(QStringLiteral("Scatola"))).removeRecursively());
        // What a save killed by `kill -9` left among the user's samples an
        // hour ago: gone at this start.
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("share/tamvolo/voc")));
        QFile stray(home.filePath(QStringLiteral("share/tamvolo/voc/.tamvolo-Ab12Cd")));
        QVERIFY(stray.open(QIODevice::WriteOnly) && stray.write("RIFF") == 4 && stray.flush());
        QVERIFY(stray.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        stray.close();
        const QString capture = home.filePath(QStringLiteral("capture.raw"));
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("share")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("TAMVOLO_AUDIO"), QStringLiteral("sdl"));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), capture);
        ProgramUnderX program;
        QVERIFY(program.start(env, 30000,
                              {"-c", R"(cd "$0" && exec "$TAMVOLO_PROGRAM" scatola.h2drumkit)", home.path()},
                              QStringLiteral("/bin/sh")));
        QVERIFY(!stray.exists());
        const QString unpacked = home.filePath(QStringLiteral("share/tamvolo/kits/Scatola/drumkit.xml"));
        const auto remembered = [&] {
            QFile chosen(home.filePath(QStringLiteral("config/tamvolo/kit")));
            return chosen.open(QIODevice::ReadOnly) && chosen.readAll() == unpacked.toUtf8() + '\n';
        };
        QTRY_VERIFY_WITH_TIMEOUT(remembered(), 20000);
        program.process().terminate();
        QVERIFY(program.process().waitForFinished(10000));
        // The next start plays the kit remembered: V is pressed until its
        // kick is heard (the kit loads while the window shows).
        ProgramUnderX again;
        QVERIFY(again.start(env));
        const std::vector<float> kick(tone.begin(), tone.begin() + 9600);
        bool heard = false;
        for (int press = 0; press < 40 && !heard; ++press) {
            again.click(ProgramUnderX::patternField());
            again.key("v");
            QTest::qWait(500);
            const std::vector<float> out = Capture::readLeft(capture);
            for (std::size_t i = 480, quiet = 0; i + 9600 < out.size() && !heard; ++i) {
                quiet = std::abs(out[i - 1]) < 1e-4f ? quiet + 1 : 0;
                if (quiet >= 480 && std::abs(out[i]) > 0.01f)
                    heard = bestCorrelation(std::vector<float>(out.begin() + long(i), out.begin() + long(i) + 9600),
                                            kick, 96) > 0.95;
            }
        }
        QVERIFY2(heard, "V does not play the kit's kick");
        again.click(ProgramUnderX::chiudi());
        QVERIFY(again.process().waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestE2eWindow)
#include "tst_e2e_window.moc"
