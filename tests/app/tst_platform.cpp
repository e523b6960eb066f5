#include "app/ItalianLocale.h"
#include "app/Platform.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <clocale>

namespace {
// LC_TIME as the test started, before the Italian locale was made, and the
// C library's locale that the user's environment gives.
bool g_timeSet = false;
QByteArray g_time;
QByteArray g_userLocale;
} // namespace

// What the window asks of the system: programs are started by their path,
// exactly, and never looked up on PATH; files are chosen in Italian file
// dialogs that start in the user's own folders.
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

    void theFileDialogStartsInTheUsersFolderAndSpeaksItalian_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");      // of a file there
        QTest::addColumn<QString>("suggested"); // the name a save dialog proposes; empty: an open
        QTest::newRow("patterns in the documents folder") << "Pattern (*.txt)"
                                                          << "Documents"
                                                          << "old.txt" << QString();
        QTest::newRow("sounds in the music folder") << "File audio WAV (*.wav)"
                                                    << "Music"
                                                    << "old.wav" << QString();
        QTest::newRow("a pattern saved, its name proposed") << "Pattern (*.tamvolo)"
                                                            << "Documents"
                                                            << "old.tamvolo"
                                                            << "pattern.tamvolo";
    }

    void theFileDialogStartsInTheUsersFolderAndSpeaksItalian()
    {
        QFETCH(QString, filter);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, suggested);
        QTemporaryDir home;
        for (const char *userFolder : {"Documents", "Music"})
            QVERIFY(QDir(home.path()).mkpath(QLatin1String(userFolder)));
        const QString file = home.filePath(folder + QLatin1Char('/') + name);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(QByteArray(3000, 'x')) == 3000 && f.flush());
        QVERIFY(f.setFileTime(QDateTime(QDate(2025, 3, 9), QTime(7, 5)), QFileDevice::FileModificationTime));
        f.close();
        const QByteArray realHome = qgetenv("HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());

        // What the dialog shows, once its list has the file; then cancelled.
        QString shownFolder, date, size, header, typeLabel, folderType, proposed;
        QStringList cutColumns; // whose title or text does not fit
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            auto *model = dialog ? dialog->findChild<QFileSystemModel *>() : nullptr;
            if (!model)
                return;
            shownFolder = dialog->directory().absolutePath();
            proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            date = model->index(file, 3).data().toString();
            size = model->index(file, 1).data().toString();
            folderType = model->index(home.filePath(folder), 2).data().toString();
            typeLabel = dialog->labelText(QFileDialog::FileType);
            header = model->headerData(0, Qt::Horizontal).toString();
            cutColumns.clear();
            if (auto *details = dialog->findChild<QTreeView *>()) {
                for (int c = 1; c < 4; ++c) {
                    const QAbstractItemView *view = details; // where sizeHintForColumn is public
                    const int needed = std::max(details->header()->sectionSizeHint(c), view->sizeHintForColumn(c));
                    if (details->header()->sectionSize(c) < needed)
                        cutColumns << model->headerData(c, Qt::Horizontal).toString();
                }
            }
            if (!date.isEmpty() || look.property("tries").toInt() > 200)
                dialog->reject();
            look.setProperty("tries", look.property("tries").toInt() + 1);
        });
        look.start(20);
        const QString chosen =
            Platform::system().chooseFile(nullptr, QStringLiteral("Apri"), filter, suggested, !suggested.isEmpty());
        qputenv("HOME", realHome);
        QCOMPARE(chosen, QString());
        QCOMPARE(shownFolder, home.filePath(folder));
        if (!suggested.isEmpty())
            QCOMPARE(proposed, suggested);
        QCOMPARE(date, QStringLiteral("09/03/25 07:05")); // Italian, not "3/9/25 7:05 AM"
        QCOMPARE(size, QStringLiteral("2,93 KiB"));       // not "2.93 KiB", whatever the user's language
        QCOMPARE(header, QStringLiteral("Nome"));
        QCOMPARE(folderType, QStringLiteral("Cartella")); // missing from Qt's Italian
        QCOMPARE(typeLabel, QStringLiteral("Tipo di file:"));
        QCOMPARE(cutColumns, QStringList());
        // The C library keeps the user's locale, even where Italian is not
        // generated.
        QCOMPARE(QByteArray(std::setlocale(LC_ALL, nullptr)), g_userLocale);
        // The programs Tamvolo starts get the user's own environment.
        QCOMPARE(qEnvironmentVariableIsSet("LC_TIME"), g_timeSet);
        QCOMPARE(qgetenv("LC_TIME"), g_time);
    }
};

// As the program starts: the Italian locale around the application's making.
int main(int argc, char **argv)
{
    g_timeSet = qEnvironmentVariableIsSet("LC_TIME");
    g_time = qgetenv("LC_TIME");
    const char *user = std::setlocale(LC_ALL, "");
    g_userLocale = user ? QByteArray(user) : QByteArray("C");
    std::setlocale(LC_ALL, "C");
    ItalianLocale italian;
    QApplication app(argc, argv);
    italian.apply();
    TestPlatform test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_platform.moc"
