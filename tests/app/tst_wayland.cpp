#include "sound/SampleFolders.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/ProgramUnderX.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The real program as a Wayland client of the weston compositor of the
// test's own desktop (scripts/desktop-session.sh with `wayland`, started by
// a CTest fixture). Input reaches weston as X events on its output window
// and weston hands them to the program, as a seat of a desktop would; what
// the program shows is read off weston's output.
class TestWayland : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_session;
    QProcess m_program;

    static QImage screen() { return ProgramUnderX::screen(); }

    // The program's window on the screen, by the white of its outline: the
    // first row below weston's panel with 300 white pixels in a row gives
    // the top; across the middle of the window, the first and the last white
    // pixel give its sides; down its middle, the last white pixel its
    // bottom. Empty when there is none.
    static QRect window(const QImage &image)
    {
        const QRgb white = qRgb(255, 255, 255);
        for (int y = 100; y < image.height(); ++y) {
            int run = 0;
            for (int x = 0; x < image.width() && run < 300; ++x)
                run = image.pixel(x, y) == white ? run + 1 : 0;
            if (run < 300)
                continue;
            const int middle = std::min(image.height() - 1, y + 235);
            int left = -1, right = -1;
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, middle) == white) {
                    right = x;
                    if (left < 0)
                        left = x;
                }
            const int centre = (left + right) / 2;
            int bottom = y;
            for (int r = y; r < image.height(); ++r)
                if (image.pixel(centre, r) == white)
                    bottom = r;
            return QRect(QPoint(left, y), QPoint(right, bottom));
        }
        return {};
    }

    // Puts weston's pointer at `at`. Its x11 backend moves the pointer by the
    // X pointer's motion, not to its place: first into the top left corner,
    // where it stops, then from there by as much as `at` lies from it. All
    // within weston's window, at the top left of the screen.
    static void aim(QPoint at)
    {
        ProgramUnderX::run(QStringLiteral("xdotool"), {"mousemove", "--sync", "1099", "699"});
        ProgramUnderX::run(QStringLiteral("xdotool"), {"mousemove", "--sync", "0", "0"});
        ProgramUnderX::run(QStringLiteral("xdotool"),
                           {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y())});
        QTest::qWait(50);
    }

    static void click(QPoint at)
    {
        aim(at);
        ProgramUnderX::run(QStringLiteral("xdotool"), {"click", "1"});
    }

    QString capture() const { return m_dir.filePath(QStringLiteral("capture.raw")); }

private slots:
    void initTestCase()
    {
        m_session = qEnvironmentVariable("TAMVOLO_DESKTOP");
        QVERIFY2(!m_session.isEmpty(), "runs on the Wayland desktop of the desktop fixture");
        QFile display(m_session + QStringLiteral("/display"));
        QFile wayland(m_session + QStringLiteral("/wayland"));
        QVERIFY2(display.open(QIODevice::ReadOnly) && wayland.open(QIODevice::ReadOnly),
                 "the Wayland fixture did not start");
        qputenv("DISPLAY", display.readAll().trimmed());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QString::fromUtf8(wayland.readAll().trimmed()));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_session + QStringLiteral("/runtime"));
        env.remove(QStringLiteral("DISPLAY")); // nothing of X for the program
        env.insert(QStringLiteral("TAMVOLO_AUDIO"), QStringLiteral("sdl"));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), capture());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        // Built with AddressSanitizer, the program would fail at exit on what
        // Qt's Wayland plugin, libwayland-client and libxkbcommon leave
        // allocated, in a plugin unloaded by then, so not suppressible by
        // name. The program's own leaks are checked in the tests under X.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        m_program.setProcessEnvironment(env);
        m_program.setProcessChannelMode(QProcess::ForwardedChannels);
        m_program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tamvolo"), {});
        QVERIFY(m_program.waitForStarted());
    }

    void cleanupTestCase()
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished();
        }
    }

    void theWindowShowsAtItsSize()
    {
        QRect shown;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000 && (shown = window(screen())).width() < 792)
            QTest::qWait(300);
        QTest::qWait(300);
        shown = window(screen());
        QCOMPARE(shown.size(), QSize(792, 471));
        const QString folder = qEnvironmentVariable("TAMVOLO_SCREENSHOTS", QDir::currentPath());
        QDir().mkpath(folder);
        QVERIFY(screen().save(folder + QStringLiteral("/tamvolo-wayland.png")));
    }

    void aTypedKeySounds()
    {
        const QRect shown = window(screen());
        click(shown.topLeft() + ProgramUnderX::patternField());
        ProgramUnderX::run(QStringLiteral("xdotool"), {"key", "--delay", "50", "End", "BackSpace", "k"});
        const auto crash = WavLoader::load(SampleFolders::program() + "k.wav", 48000);
        QVERIFY(crash);
        QVERIFY2(Capture::waitToFind(capture(), crash->stereo(), 10000) >= 0, "the key did not sound");
    }

    void aDragOnTheDrumsMovesTheWindowThroughTheCompositor()
    {
        const QRect before = window(screen());
        const QPoint grab = before.topLeft() + QPoint(20, 360);
        aim(grab);
        ProgramUnderX::run(QStringLiteral("xdotool"), {"mousedown", "1"});
        for (int step = 1; step <= 6; ++step) {
            QTest::qWait(60);
            ProgramUnderX::run(
                QStringLiteral("xdotool"),
                {"mousemove", "--sync", QString::number(grab.x() + 10 * step), QString::number(grab.y() - 5 * step)});
        }
        QTest::qWait(100);
        ProgramUnderX::run(QStringLiteral("xdotool"), {"mouseup", "1"});
        QTRY_COMPARE_WITH_TIMEOUT(window(screen()).topLeft(), before.topLeft() + QPoint(60, -30), 5000);
    }

    void chiudiEndsTheProgram()
    {
        const QRect shown = window(screen());
        click(shown.topLeft() + ProgramUnderX::chiudi());
        QVERIFY(m_program.waitForFinished(10000));
        QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
