#include "PatternFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

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
    static QString latin(const QByteArray &bytes)
    {
        QString text;
        for (const char b : bytes) {
            const auto byte = uchar(b);
            static const char16_t high[32] = {0x20AC, 0x81, 0x201A, 0x192, 0x201E, 0x2026, 0x2020, 0x2021,
                                              0x2C6, 0x2030, 0x160, 0x2039, 0x152, 0x8D, 0x17D, 0x8F,
                                              0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                              0x2DC, 0x2122, 0x161, 0x203A, 0x153, 0x9D, 0x17E, 0x178};
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
        QTest::newRow("tabs and NUL are characters") << QByteArray("A\tB\0C", 5) << QString::fromLatin1("A\tB\0C", 5);
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
        f.write("XYZ");
        QVERIFY(f.resize(qint64(8) << 30)); // 8 GiB, sparse
        f.close();
        QCOMPARE(PatternFile::read(path("huge.txt")), std::optional<QString>(QString::fromLatin1("XYZ\0\0\0\0", 7)));
    }

    void whatCannotBeReadReadsAsNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("a missing file") << path("missing.txt");
        QTest::newRow("a folder") << m_dir.path();
        QTest::newRow("an endless device") << "/dev/zero";
        QTest::newRow("an empty name") << "";
    }

    void whatCannotBeReadReadsAsNothing()
    {
        QFETCH(QString, file);
        QCOMPARE(PatternFile::read(file), std::nullopt);
    }

    void aNamedPipeIsRefusedWithoutWaiting()
    {
        const QString fifo = path("pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(PatternFile::read(fifo), std::nullopt); // would hang if it waited for a writer
        QVERIFY(!PatternFile::write(fifo, QStringLiteral("AB")));
        struct stat st{};
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
        struct rlimit old{};
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
