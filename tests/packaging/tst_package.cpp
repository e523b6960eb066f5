#include "sound/SampleFolders.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/Correlation.h"
#include "support/ProgramUnderX.h"
#include "support/PulseCapture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The Debian package as a user gets it (scripts/package.sh, the `package`
// fixture, which also holds it to lintian): unpacked into a folder, never
// installed on the machine, its program run from there.
class TestPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;

    QString unpacked(const char *path) const { return m_root.filePath(QLatin1String(path)); }

    struct Run
    {
        int code = -1;
        QString out;
        QString err;
    };
    static Run run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(20000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        const QDir folder(qEnvironmentVariable("TAMVOLO_PACKAGE_DIR"));
        const QStringList debs = folder.entryList({QStringLiteral("tamvolo_" TAMVOLO_VERSION "_*.deb")});
        QVERIFY2(debs.size() == 1, "scripts/package.sh made no package");
        QCOMPARE(run(QStringLiteral("dpkg-deb"), {"-x", folder.filePath(debs.front()), m_root.path()}).code, 0);
    }

    void theCommandLineAnswers_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("says");
        QTest::newRow("--help: usage, the file, the environment")
            << QStringList{"--help"} << 0
            << QStringList{"FILE_PATTERN", "--version", "TAMVOLO_AUDIO", "tamvolo.audio", "XDG_DATA_HOME"};
        QTest::newRow("--version") << QStringList{"--version"} << 0 << QStringList{"tamvolo " TAMVOLO_VERSION "\n"};
    }

    void theCommandLineAnswers()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QStringList, says);
        // In a terminal with no display at all: each answers before Qt
        // looks for one.
        const Run r = run(QStringLiteral("env"),
                          QStringList{"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                                      unpacked("usr/bin/tamvolo")} +
                              args);
        QCOMPARE(r.code, code);
        for (const QString &text : says)
            QVERIFY2((code == 0 ? r.out : r.err).contains(text), qPrintable(r.out + r.err));
    }

    void theMetadataIsValid()
    {
        const Run appstream =
            run(QStringLiteral("appstreamcli"),
                {"validate", "--no-net", unpacked("usr/share/metainfo/org.tamvolo.Tamvolo.metainfo.xml")});
        QVERIFY2(appstream.code == 0, qPrintable(appstream.out + appstream.err));
        const Run desktop = run(QStringLiteral("desktop-file-validate"),
                                {unpacked("usr/share/applications/org.tamvolo.Tamvolo.desktop")});
        QVERIFY2(desktop.code == 0 && desktop.out.isEmpty(), qPrintable(desktop.out + desktop.err));
    }

    void aPatternFileOpensWithTamvolo()
    {
        // As a file manager sees it once the package is in: the desktop's
        // databases of file types and applications made over its files.
        const QString file = m_root.filePath(QStringLiteral("beat.tamvolo"));
        QFile pattern(file);
        QVERIFY(pattern.open(QIODevice::WriteOnly) && pattern.write("KVB\r\n") == 5);
        pattern.close();
        const Run r = run(QStringLiteral("/bin/sh"),
                          {"-c",
                           "update-mime-database \"$1/mime\" >/dev/null 2>&1 && "
                           "update-desktop-database \"$1/applications\" && "
                           "export LC_ALL=C.UTF-8 XDG_DATA_DIRS=\"$1:/usr/share\" PATH=\"$1/../bin:$PATH\" && "
                           "gio info -a standard::content-type \"$2\" && gio mime application/x-tamvolo-pattern",
                           "sh", unpacked("usr/share"), file});
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        QVERIFY2(r.out.contains(QStringLiteral("content-type: application/x-tamvolo-pattern")), qPrintable(r.out));
        const QString opener = r.out.section(QStringLiteral("Default application for"), 1).section('\n', 0, 0);
        QVERIFY2(opener.endsWith(QStringLiteral(": org.tamvolo.Tamvolo.desktop")), qPrintable(r.out));
    }

    void theUnpackedProgramPlaysTheBassDrum()
    {
        // V typed into the unpacked program's window comes out of the private
        // sound server: the package's own samples and libraries at work.
        PulseCapture capture;
        QVERIFY(capture.start());
        ProgramUnderX program;
        QVERIFY(
            program.start({}, 30000, {"-c", "exec \"$0\"/usr/bin/tamvolo", m_root.path()}, QStringLiteral("/bin/sh")));
        program.typePattern("v");
        const auto kick = WavLoader::load(SampleFolders::program() + "v.wav", 48000);
        QVERIFY(kick);
        QTRY_VERIFY_WITH_TIMEOUT(!Capture::findAll(capture.left(), kick->stereo(), 144, 256).empty(), 10000);
        capture.stop();
        const std::vector<float> left = capture.left();
        const auto at = std::size_t(Capture::findAll(left, kick->stereo(), 144, 256).front());
        const std::vector<float> heard(left.begin() + long(at), left.begin() + long(std::min(left.size(), at + 4800)));
        const double correlation = bestCorrelation(leftOf(kick->stereo()), heard, 100);
        qInfo("the unpacked program's V against v.wav: correlation %.4f", correlation);
        QVERIFY(correlation > 0.9);
        program.click(ProgramUnderX::chiudi());
        QVERIFY(program.process().waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
