#include <QProcess>
#include <QTest>

// The real program's command line in a terminal with no display at all
// (over ssh, from cron): every option works or is refused with the
// program's own message and exit status 2; with nothing to show the window
// on, it says so and ends with 1. Never an abort.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void eachOptionWorksOrIsRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code"); // -1: still running, the window open
        QTest::addColumn<QString>("says");
        const int runs = -1;
        QTest::newRow("no display: said in Italian") << QStringList{} << 1 << "nessun display grafico";
        QTest::newRow("a display named that is not there") << QStringList{"-display=:97"} << 1 << "nessun display";
        QTest::newRow("-platform=offscreen opens the window") << QStringList{"-platform=offscreen"} << runs << "";
        QTest::newRow("--platform=offscreen opens the window") << QStringList{"--platform=offscreen"} << runs << "";
        QTest::newRow("Qt's options in every form")
            << QStringList{"--platform", "offscreen", "--style=Fusion", "-reverse"} << runs << "";
        QTest::newRow("an unknown option after Qt's own")
            << QStringList{"-platform", "offscreen", "-style=Fusion", "-reverse", "-x"} << 2
            << "opzione sconosciuta: -x\n";
        QTest::newRow("-sync, not Qt 6's: refused") << QStringList{"-sync"} << 2 << "opzione sconosciuta: -sync";
        QTest::newRow("-ncols, not Qt 6's: refused") << QStringList{"-ncols", "5"} << 2 << "sconosciuta: -ncols";
        QTest::newRow("-cmap, not Qt 6's: refused") << QStringList{"-cmap"} << 2 << "sconosciuta: -cmap";
        QTest::newRow("--bogus: refused") << QStringList{"--bogus"} << 2 << "sconosciuta: --bogus";
        QTest::newRow("-display without its value") << QStringList{"-display"} << 2 << "manca il valore";
        QTest::newRow("-style without its value") << QStringList{"-style"} << 2 << "manca il valore";
        QTest::newRow("-platform without its value") << QStringList{"-platform"} << 2 << "manca il valore";
        QTest::newRow("--help as a window title is a title")
            << QStringList{"-platform", "offscreen", "-qwindowtitle", "--help"} << runs << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Vedi anche: man tamvolo";
    }

    void eachOptionWorksOrIsRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, says);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TAMVOLO_PROGRAM), args);
        QVERIFY(p.waitForStarted());
        const bool ended = p.waitForFinished(code == -1 ? 2500 : 20000);
        if (!ended) {
            p.kill();
            p.waitForFinished();
        }
        const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QVERIFY2(ended == (code != -1), qPrintable(out));
        if (ended) {
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), code);
        }
        QVERIFY2(out.contains(says), qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("Reinstalling")), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
