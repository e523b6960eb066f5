#include "services/PatternFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The pattern file on disk: bytes written, text read back, and every way a
// file can be missing, odd or in the way.
class TestPatternFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    static QByteArray contents(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    static void put(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    // The text a byte string stands for in Windows-1252.
    // Runs `body` in a child process and returns its exit status as
    // waitpid gives it: a fault that kills the process kills only the child.
    template <typename Body> static int inChild(Body body)
    {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(body());
        int status = -1;
        ::waitpid(child, &status, 0);
        return status;
    }

    static QString latin(const QByteArray &bytes)
    {
        QString text;
        for (const char b : bytes) {
            const auto byte = uchar(b);
            static const char16_t high[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                              0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                              0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                              0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
            text += byte >= 0x80 && byte < 0xA0 ? QChar(high[byte - 0x80]) : QChar(byte);
        }
        return text;
    }

private slots:
    void roundTripsAreByteExact_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one character") << QByteArray("V");
        QTest::newRow("the start-up pattern") << QByteArray("V B VVF");
        QTest::newRow("three with spaces") << QByteArray(" A ");
        // Every byte from 0x20 to 0xFF, seven at a time, then the last few.
        for (int first = 0x20; first <= 0xFF; first += 7) {
            QByteArray chunk;
            for (int b = first; b < first + 7 && b <= 0xFF; ++b)
                chunk.append(char(b));
            QTest::addRow("bytes 0x%02X-0x%02X", first, first + int(chunk.size()) - 1) << chunk;
        }
    }

    void roundTripsAreByteExact()
    {
        QFETCH(QByteArray, bytes);
        const QString pattern = latin(bytes);
        const QString file = path("round.txt");
        QVERIFY(PatternFile::write(file, pattern));
        QCOMPARE(contents(file), bytes + "\r\n");
        QCOMPARE(PatternFile::read(file), std::optional<QString>(pattern));
    }

    void charactersOutsideTheSetAreWrittenAsQuestionMarks()
    {
        QVERIFY(PatternFile::write(path("greek.txt"), QStringLiteral("a\u03B1\u0416b")));
        QCOMPARE(contents(path("greek.txt")), QByteArray("a??b\r\n"));
    }

    void readingStopsAtTheFirstBreakAndTheSeventhCharacter_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("seven and CR LF") << QByteArray("ABCDEFG\r\n") << "ABCDEFG";
        QTest::newRow("longer than seven, no break") << QByteArray("ABCDEFGHIJKLMNOP") << "ABCDEFG";
        QTest::newRow("longer than seven, then a break") << QByteArray("ABCDEFGHIJ\r\nKL") << "ABCDEFG";
        QTest::newRow("three and CR LF") << QByteArray("ABC\r\n") << "ABC";
        QTest::newRow("CR only") << QByteArray("ABC\rDEF") << "ABC";
        QTest::newRow("LF only") << QByteArray("ABC\nDEF") << "ABC";
        QTest::newRow("a second line is ignored") << QByteArray("AB\r\nCDE\r\n") << "AB";
        QTest::newRow("only a line break") << QByteArray("\r\n") << "";
        QTest::newRow("zero bytes") << QByteArray() << "";
        QTest::newRow("tabs are characters") << QByteArray("A\tB C") << "A\tB C";
    }

    void readingStopsAtTheFirstBreakAndTheSeventhCharacter()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, pattern);
        put(path("in.txt"), bytes);
        QCOMPARE(PatternFile::read(path("in.txt")), std::optional<QString>(pattern));
    }

    void aHugeFileCostsNothing()
    {
        QFile f(path("huge.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("XYZ\r\n");
        QVERIFY(f.resize(qint64(8) << 30)); // 8 GiB, sparse
        f.close();
        QCOMPARE(PatternFile::read(path("huge.txt")), std::optional<QString>(QStringLiteral("XYZ")));
    }

    void whatCannotBeReadReadsAsNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("a missing file") << path("missing.txt");
        QTest::newRow("a NUL byte: no text") << path("nul.txt");
        QTest::newRow("a WAV file") << path("sound.wav");
        QTest::newRow("a folder") << m_dir.path();
        QTest::newRow("an endless device") << "/dev/zero";
        QTest::newRow("an empty name") << "";
    }

    void whatCannotBeReadReadsAsNothing()
    {
        put(path("nul.txt"), QByteArray("A\0B", 3));
        put(path("sound.wav"), QByteArray("RIFF1234WAVE"));
        QFETCH(QString, file);
        QCOMPARE(PatternFile::read(file), std::nullopt);
    }

    void aNamedPipeIsRefusedWithoutWaiting()
    {
        const QString fifo = path("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(PatternFile::read(fifo), std::nullopt); // would hang if it waited for a writer
        QVERIFY(!PatternFile::write(fifo, QStringLiteral("AB")));
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }

    void writingIntoAMissingFolderCreatesNothing()
    {
        const QString file = path("no/such/folder/p.txt");
        QVERIFY(!PatternFile::write(file, QStringLiteral("AB")));
        QVERIFY(!QFile::exists(file));
        QVERIFY(!QDir(path("no")).exists());
    }

    void aReadOnlyFileIsLeftAsItWas()
    {
        const QString file = path("readonly.txt");
        put(file, "OLD\r\n");
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(!PatternFile::write(file, QStringLiteral("NEW")));
        QCOMPARE(contents(file), QByteArray("OLD\r\n"));
    }

    void aFolderAsTheTargetIsLeftAlone()
    {
        QVERIFY(QDir(m_dir.path()).mkdir("target"));
        QVERIFY(!PatternFile::write(path("target"), QStringLiteral("AB")));
        QVERIFY(QFileInfo(path("target")).isDir());
    }

    void aFailedWriteLeavesNoHalfFile()
    {
        // A file-size limit of 4 bytes makes the write fail half way (even
        // for root): the old file must stay whole, and nothing else stays.
        QVERIFY(QDir(m_dir.path()).mkdir("limited"));
        const QString file = path("limited/p.txt");
        put(file, "OLD\r\n");
        struct rlimit old = {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = PatternFile::write(file, QStringLiteral("ABCDEFG"));
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(!written);
        QCOMPARE(contents(file), QByteArray("OLD\r\n"));
        QCOMPARE(QDir(path("limited")).entryList(QDir::Files | QDir::Hidden), QStringList{"p.txt"});
    }

    void whatAKilledWriteLeftGoesAtTheNextWrite()
    {
        // A kill -9 between writing and renaming leaves the hidden file; the
        // next save in that folder removes it once it is ten minutes old,
        // and leaves a newer one (a save under way elsewhere) and links.
        QVERIFY(QDir(m_dir.path()).mkdir("killed"));
        put(path("killed/.tamvolo-Ab12Cd"), "half");
        put(path("killed/.tamvolo-Ef34Gh"), "under way");
        QVERIFY(QFile::link(path("killed/.tamvolo-Ab12Cd"), path("killed/.tamvolo-Ln56Kk")));
        const struct timespec times[2] = {{std::time(nullptr) - 700, 0}, {std::time(nullptr) - 700, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path("killed/.tamvolo-Ab12Cd")).constData(), times, 0), 0);
        QVERIFY(PatternFile::write(path("killed/p.txt"), QStringLiteral("V")));
        QCOMPARE(QDir(path("killed")).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (QStringList{".tamvolo-Ef34Gh", ".tamvolo-Ln56Kk", "p.txt"}));
    }

    // (A file-size limit: tst_pattern_file_actions, as the user saves.)

    void savingThroughALinkWritesTheFileItLeadsTo()
    {
        QVERIFY(QDir(m_dir.path()).mkpath("real"));
        const QString real = path("real/p.txt");
        put(real, "OLD\r\n");
        QVERIFY(QFile::link(QStringLiteral("real/p.txt"), path("first-link.txt")));
        QVERIFY(QFile::link(path("first-link.txt"), path("second-link.txt")));
        QVERIFY(PatternFile::write(path("second-link.txt"), QStringLiteral("VB")));
        QCOMPARE(contents(real), QByteArray("VB\r\n"));
        QVERIFY(QFileInfo(path("second-link.txt")).isSymLink());
        QVERIFY(QFileInfo(path("first-link.txt")).isSymLink());
        QCOMPARE(QDir(path("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"p.txt"});
    }

    void aLinkToNothingYetCreatesItsTarget()
    {
        QVERIFY(QFile::link(QStringLiteral("created.txt"), path("dangling.txt")));
        QVERIFY(PatternFile::write(path("dangling.txt"), QStringLiteral("K")));
        QCOMPARE(contents(path("created.txt")), QByteArray("K\r\n"));
        QVERIFY(QFileInfo(path("dangling.txt")).isSymLink());
    }

    void aLinkLoopIsRefused()
    {
        QVERIFY(QFile::link(path("loop-b.txt"), path("loop-a.txt")));
        QVERIFY(QFile::link(path("loop-a.txt"), path("loop-b.txt")));
        QVERIFY(!PatternFile::write(path("loop-a.txt"), QStringLiteral("K")));
        QVERIFY(QFileInfo(path("loop-a.txt")).isSymLink());
    }

    void everyNameOfAHardLinkedFileSeesTheNewPattern()
    {
        const QString one = path("one-name.txt");
        const QString other = path("other-name.txt");
        put(one, "OLD\r\n");
        QCOMPARE(::link(QFile::encodeName(one).constData(), QFile::encodeName(other).constData()), 0);
        QVERIFY(PatternFile::write(one, QStringLiteral("ABC")));
        QCOMPARE(contents(one), QByteArray("ABC\r\n"));
        QCOMPARE(contents(other), QByteArray("ABC\r\n"));
        struct stat a
        {
        }, b{};
        ::stat(QFile::encodeName(one).constData(), &a);
        ::stat(QFile::encodeName(other).constData(), &b);
        QCOMPARE(a.st_ino, b.st_ino);
    }

    void ownerGroupAndModeAreKept()
    {
        if (::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        const QString file = path("theirs.txt");
        put(file, "OLD\r\n");
        const QByteArray native = QFile::encodeName(file);
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(native.constData(), 0640), 0);
        QVERIFY(PatternFile::write(file, QStringLiteral("V")));
        struct stat st = {};
        QCOMPARE(::stat(native.constData(), &st), 0);
        QCOMPARE(st.st_uid, uid_t(65534));
        QCOMPARE(st.st_gid, gid_t(65534));
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QCOMPARE(contents(file), QByteArray("V\r\n"));
    }

    void aFileThisUserMayNotWriteIsLeftAlone()
    {
        // A 0644 file of root's, in a folder anyone may write: the folder
        // would let it be replaced, the file says no.
        if (::geteuid() != 0)
            QSKIP("needs root to play another user");
        QVERIFY(QDir(m_dir.path()).mkdir("shared"));
        QCOMPARE(::chmod(QFile::encodeName(path("shared")).constData(), 0777), 0);
        QCOMPARE(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
        const QString file = path("shared/roots.txt");
        put(file, "OLD\r\n");
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0644), 0);
        const int status = inChild([&] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                return 2;
            return PatternFile::write(file, QStringLiteral("X")) ? 1 : 0;
        });
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(contents(file), QByteArray("OLD\r\n"));
    }

    void newFilesTakeTheUmaskAndSavingNeverChangesIt()
    {
        // Another thread creating files while patterns are saved must never
        // see a umask other than the process's own.
        const mode_t mask = ::umask(022);
        std::atomic<bool> done{false};
        std::atomic<int> wrong{0};
        std::thread watcher([&] {
            while (!done.load()) {
                QFile status(QStringLiteral("/proc/self/status"));
                if (status.open(QIODevice::ReadOnly) && !status.readAll().contains("Umask:\t0022"))
                    wrong.fetch_add(1);
            }
        });
        for (int i = 0; i < 300; ++i)
            PatternFile::write(path("umask.txt"), QStringLiteral("V"));
        QFile::remove(path("fresh.txt"));
        QVERIFY(PatternFile::write(path("fresh.txt"), QStringLiteral("V")));
        done.store(true);
        watcher.join();
        ::umask(mask);
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(QFileInfo(path("fresh.txt")).permissions() & 0x7777,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup |
                     QFile::ReadOther);
    }

    void anExistingFileIsReplacedWhole()
    {
        const QString file = path("replace.txt");
        put(file, "A LONGER OLD LINE\r\nAND MORE\r\n");
        QVERIFY(PatternFile::write(file, QStringLiteral("AB")));
        QCOMPARE(contents(file), QByteArray("AB\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestPatternFile)
#include "tst_pattern_file.moc"
