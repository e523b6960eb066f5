#include "app/Platform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// What the window asks of the system: programs are started by their path,
// exactly, and never looked up on PATH.
class TestPlatform : public QObject
{
    Q_OBJECT

    const QString m_recorder = QStringLiteral("C:\\WINDOWS\\System32\\sndrec32.exe");

    // An executable called `name` in `folder` that leaves `marker` behind.
    static void plant(const QString &folder, const QString &name, const QString &marker)
    {
        QFile script(folder + QLatin1Char('/') + name);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

private slots:
    void aProgramOfTheSameNameOnPathIsNotStarted()
    {
        QTemporaryDir onPath, elsewhere, markers;
        const QString marker = markers.filePath(QStringLiteral("ran"));
        plant(onPath.path(), m_recorder, marker);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", onPath.path().toLocal8Bit() + ":" + path);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(elsewhere.path());
        const bool started = Platform::system().startProgram(m_recorder, 1);
        QDir::setCurrent(cwd);
        qputenv("PATH", path);
        QVERIFY(!started);
        QTest::qWait(500);
        QVERIFY(!QFile::exists(marker));
    }

    void aFilePlantedUnderTheWindowsRecordersNameIsNotRun()
    {
        QTemporaryDir here, markers;
        const QString marker = markers.filePath(QStringLiteral("ran"));
        plant(here.path(), m_recorder, marker);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(here.path());
        const bool started = Platform::system().startProgram(m_recorder, 1);
        QDir::setCurrent(cwd);
        QVERIFY(!started);
        QTest::qWait(500);
        QVERIFY(!QFile::exists(marker));
    }

    void aProgramAtExactlyThatPathIsStarted()
    {
        QTemporaryDir here, markers;
        const QString marker = markers.filePath(QStringLiteral("ran"));
        plant(here.path(), QStringLiteral("recorder"), marker);
        QVERIFY(Platform::system().startProgram(here.filePath(QStringLiteral("recorder")), 1));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
