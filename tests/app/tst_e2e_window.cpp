#include "ApplicationFolder.h"
#include "Capture.h"
#include "WavLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The real program on a real X server: keys typed with real X key events
// (XTEST) must come out of the sound device, here SDL's disk driver.
class TestE2eLivePad : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_program;
    QString m_window;

    static QString run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(20000);
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

    QString capturePath() const { return m_dir.filePath(QStringLiteral("capture.raw")); }

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs under xvfb-run");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), capturePath());
        m_program.setProcessEnvironment(env);
        m_program.setProcessChannelMode(QProcess::ForwardedChannels);
        m_program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tamvolo"), {});
        QVERIFY(m_program.waitForStarted());

        QElapsedTimer waited;
        waited.start();
        while (m_window.isEmpty() && waited.elapsed() < 30000) {
            QTest::qWait(200);
            m_window = run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", "^Tamvolo$"}).section('\n', 0, 0);
        }
        QVERIFY2(!m_window.isEmpty(), "the window did not appear");
        QTest::qWait(500); // let it paint
    }

    void cleanupTestCase()
    {
        m_program.kill();
        m_program.waitForFinished();
    }

    void screenshotAtStart()
    {
        const QString folder = qEnvironmentVariable("TAMVOLO_SCREENSHOTS", QDir::currentPath());
        QDir().mkpath(folder);
        const QString png = folder + QStringLiteral("/tamvolo-start.png");
        QFile::remove(png);
        run(QStringLiteral("import"), {"-window", m_window, png});
        QVERIFY(QFileInfo(png).size() > 0);
    }

    void aTypedKeyComesOutOfTheDevice()
    {
        // Focus starts on "Esegui"; two Tabs reach the pattern field, which
        // is full: the key is refused by the field but still sounds.
        run(QStringLiteral("xdotool"), {"windowfocus", "--sync", m_window});
        run(QStringLiteral("xdotool"), {"key", "--delay", "50", "Tab", "Tab", "k"});

        const auto crash = WavLoader::load(applicationFolder() + "/voc/k.wav", 48000);
        QVERIFY(crash);
        long long at = -1;
        QElapsedTimer waited;
        waited.start();
        while (at < 0 && waited.elapsed() < 20000) {
            QTest::qWait(300);
            at = Capture::find(Capture::readLeft(capturePath()), crash->samples, 0, 0, 2048);
        }
        QVERIFY2(at >= 0, "k.wav is not in the captured output");
    }
};

QTEST_GUILESS_MAIN(TestE2eLivePad)
#include "tst_e2e_livepad.moc"
