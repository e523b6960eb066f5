#include "sound/SampleFolders.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/ProgramUnderX.h"
#include "support/PulseCapture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The real program on a desktop of the test's own (scripts/desktop-session.sh,
// started by a CTest fixture): Xvfb with the openbox window manager, with or
// without a system tray. Minimising, the tray icon, coming back, and the keys
// reaching the pattern field afterwards, as a person would do them.
class TestDesktop : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // "Normal" or "Iconic", as the window manager keeps it in WM_STATE.
    static QString wmState(const QString &window)
    {
        const QString out = ProgramUnderX::run(QStringLiteral("xprop"), {"-id", window, "WM_STATE"});
        const auto match = QRegularExpression(QStringLiteral("window state: (\\w+)")).match(out);
        return match.hasMatch() ? match.captured(1) : QStringLiteral("(none)");
    }

    // The screen rectangle of the tray icon when the tray shows one.
    static QRect trayIcon()
    {
        // The icon is a window of the program's inside trayer's panel.
        const QString tree = ProgramUnderX::run(QStringLiteral("xwininfo"), {"-root", "-tree"});
        const QStringList lines = tree.split('\n');
        auto indent = [](const QString &line) { return line.size() - line.trimmed().size(); };
        qsizetype panel = -1; // the panel's indent while reading inside it
        for (const QString &line : lines) {
            if (line.trimmed().isEmpty())
                continue;
            if (panel >= 0 && indent(line) <= panel)
                panel = -1;
            if (line.contains(QStringLiteral("\"panel\"")))
                panel = indent(line);
            else if (panel >= 0 && line.contains(QStringLiteral("\"Tamvolo\""))) {
                const auto m =
                    QRegularExpression(QStringLiteral("(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)"))
                        .match(line);
                if (!m.hasMatch())
                    return {};
                const QString id = line.trimmed().section(' ', 0, 0);
                if (!ProgramUnderX::run(QStringLiteral("xwininfo"), {"-id", id}).contains(QStringLiteral("IsViewable")))
                    return {};
                return {m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(), m.captured(2).toInt()};
            }
        }
        return {};
    }

    QString capture() const { return m_dir.filePath(QStringLiteral("capture.raw")); }

    bool start(ProgramUnderX &program)
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("TAMVOLO_AUDIO"), QStringLiteral("sdl"));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), capture());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        return program.start(env);
    }

    // True when the crash cymbal came out of the program.
    bool crashHeard() const
    {
        static const auto crash = WavLoader::load(SampleFolders::program() + "k.wav", 48000);
        return Capture::waitToFind(capture(), crash->stereo(), 10000) >= 0;
    }

    // The screen round the window's top left corner, and what the corner
    // holds: pixels of the background, of the window's white, and between
    // the two (the anti-aliased edge).
    struct Corner
    {
        int background = 0;
        int white = 0;
        int between = 0;
    };
    static Corner topLeftCorner(const QString &window, const QString &savedAs)
    {
        const QImage screen = ProgramUnderX::screen();
        const QPoint at = ProgramUnderX::windowPosition(window);
        const QString folder = qEnvironmentVariable("TAMVOLO_SCREENSHOTS", QDir::currentPath());
        QDir().mkpath(folder);
        screen.copy(QRect(at - QPoint(20, 20), QSize(832, 511))).save(folder + QLatin1Char('/') + savedAs);
        const int background = qGray(screen.pixel(at - QPoint(3, 3)));
        Corner corner;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 30; ++x) {
                const int level = qGray(screen.pixel(at + QPoint(x, y)));
                if (level == background)
                    ++corner.background;
                else if (level == 255)
                    ++corner.white;
                else if (level > background && level < 255)
                    ++corner.between;
            }
        return corner;
    }

private slots:
    void initTestCase()
    {
        const QString session = qEnvironmentVariable("TAMVOLO_DESKTOP");
        QVERIFY2(!session.isEmpty(), "runs on the desktop of the desktop fixture");
        QFile display(session + QStringLiteral("/display"));
        QVERIFY2(display.open(QIODevice::ReadOnly), "the desktop fixture did not start");
        qputenv("DISPLAY", display.readAll().trimmed());
    }

    void aMinimisedWindowWaitsInTheTrayAndComesBack()
    {
        ProgramUnderX program;
        QVERIFY(start(program));
        const QString window = program.windowId();
        // With a tray, the window is a utility window: no taskbar entry.
        QVERIFY(ProgramUnderX::run(QStringLiteral("xprop"), {"-id", window, "_NET_WM_WINDOW_TYPE"})
                    .contains(QStringLiteral("_NET_WM_WINDOW_TYPE_UTILITY")));
        QCOMPARE(trayIcon(), QRect()); // no icon while the window shows

        program.click(ProgramUnderX::riduci());
        QTRY_COMPARE_WITH_TIMEOUT(wmState(window), QStringLiteral("Iconic"), 5000);
        QRect icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = trayIcon()).isValid(), 5000);

        ProgramUnderX::run(QStringLiteral("xdotool"),
                           {"mousemove", "--sync", QString::number(icon.center().x()),
                            QString::number(icon.center().y()), "click", "1"});
        QTRY_COMPARE_WITH_TIMEOUT(wmState(window), QStringLiteral("Normal"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(trayIcon(), QRect(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ProgramUnderX::run(QStringLiteral("xdotool"), {"getwindowfocus"}).trimmed(), window,
                                  5000);
        // The keys go to the pattern field: a typed K sounds.
        program.key("k");
        QVERIFY2(crashHeard(), "the key did not reach the pattern field");
        program.click(ProgramUnderX::chiudi());
        QVERIFY(program.process().waitForFinished(10000));
    }

    void withoutATrayTheWindowComesBackThroughTheWindowManager()
    {
        ProgramUnderX program;
        QVERIFY(start(program));
        const QString window = program.windowId();
        // Without a tray, an ordinary window, which keeps its taskbar entry.
        const QString type = ProgramUnderX::run(QStringLiteral("xprop"), {"-id", window, "_NET_WM_WINDOW_TYPE"});
        QVERIFY2(!type.contains(QStringLiteral("UTILITY")), qPrintable(type));
        QVERIFY(!ProgramUnderX::run(QStringLiteral("xprop"), {"-id", window, "_NET_WM_STATE"})
                     .contains(QStringLiteral("SKIP_TASKBAR")));

        program.click(ProgramUnderX::riduci());
        QTRY_COMPARE_WITH_TIMEOUT(wmState(window), QStringLiteral("Iconic"), 5000);
        // What a taskbar does on a click: asks the window manager to
        // activate the window.
        ProgramUnderX::run(QStringLiteral("wmctrl"), {"-i", "-a", window});
        QTRY_COMPARE_WITH_TIMEOUT(wmState(window), QStringLiteral("Normal"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ProgramUnderX::run(QStringLiteral("xdotool"), {"getwindowfocus"}).trimmed(), window,
                                  5000);
        program.key("k");
        QVERIFY2(crashHeard(), "the key did not reach the pattern field");
        program.click(ProgramUnderX::chiudi());
        QVERIFY(program.process().waitForFinished(10000));
    }

    void theCornersAreCutSharpWithoutACompositor()
    {
        ProgramUnderX program;
        QVERIFY(start(program));
        const Corner corner = topLeftCorner(program.windowId(), QStringLiteral("tamvolo-x11.png"));
        QVERIFY2(corner.background > 50 && corner.white > 500, qPrintable(QString::number(corner.background)));
        QCOMPARE(corner.between, 0); // a 1-bit outline
        program.click(ProgramUnderX::chiudi());
        QVERIFY(program.process().waitForFinished(10000));
    }

    void theCornersAreSmoothWithACompositor()
    {
        ProgramUnderX program;
        QVERIFY(start(program));
        const Corner corner = topLeftCorner(program.windowId(), QStringLiteral("tamvolo-composited.png"));
        QVERIFY2(corner.background > 50 && corner.white > 500, qPrintable(QString::number(corner.background)));
        QVERIFY2(corner.between >= 20, qPrintable(QString::number(corner.between))); // anti-aliased
        // The transparent corner does not take the mouse: a click there
        // reaches what lies behind, not the window.
        const QPoint inCorner = program.position() + QPoint(2, 2);
        ProgramUnderX::run(QStringLiteral("xdotool"),
                           {"mousemove", "--sync", QString::number(inCorner.x()), QString::number(inCorner.y())});
        const QString under = ProgramUnderX::run(QStringLiteral("xdotool"), {"getmouselocation", "--shell"});
        QVERIFY2(!under.contains(QStringLiteral("WINDOW=") + program.windowId() + QLatin1Char('\n')),
                 qPrintable(under));
        program.click(ProgramUnderX::chiudi());
        QVERIFY(program.process().waitForFinished(10000));
    }

    void closedByTheWindowManagerTheProgramEnds()
    {
        // Alt+F4 while the loop plays, through the private sound server: as
        // "Chiudi", the program ends, and the sound with it.
        QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "runs with the private sound server");
        static const auto kick = WavLoader::load(SampleFolders::program() + "v.wav", 48000);
        QVERIFY(kick);
        ProgramUnderX program;
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        QVERIFY(program.start(env));
        {
            PulseCapture playing;
            QVERIFY(playing.start());
            program.typePattern("vvvvvvv");
            program.click(ProgramUnderX::esegui());
            QTRY_VERIFY_WITH_TIMEOUT(!Capture::findAll(playing.left(), kick->stereo(), 144, 256).empty(), 10000);
        }
        QElapsedTimer closing;
        closing.start();
        ProgramUnderX::run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "alt+F4"});
        const bool ended = program.process().waitForFinished(10000);
        const qint64 took = closing.elapsed();
        QVERIFY2(ended, "the program goes on without its window");
        qInfo("Alt+F4 ended the program in %lld ms", took);
        QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process().exitCode(), 0);
        PulseCapture after;
        QVERIFY(after.start());
        QTest::qWait(1000);
        QVERIFY(Capture::findAll(after.left(), kick->stereo(), 144, 256).empty());
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
