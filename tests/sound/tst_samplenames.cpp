#include "sound/SampleIndex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The rules by which a name finds its file, on a folder read at once.
class TestSampleNames : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_folder; // <root>/voc/

    void touch(const QString &name, const QByteArray &content = "RIFF")
    {
        QFile f(m_folder + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    static std::optional<std::string> resolve(const std::string &samplePath, const std::string &folder)
    {
        return SampleIndex(folder, SampleIndex::Reading::Here).resolve(samplePath);
    }

    std::optional<std::string> resolve(const QByteArray &name) const
    {
        const std::string folder = m_folder.toStdString();
        return resolve(folder + name.toStdString(), folder);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        QVERIFY(QDir(m_root.path()).mkpath("voc/sub"));
        m_folder = m_root.path() + "/voc/";
        for (const char *name :
             {"v.wav", "J.wav", "Laser.wav", "\xc3\xa8.wav", "dup.wav", "DUP.wav", "Dup.wav", "sub/x.wav", "noext"})
            touch(QString::fromUtf8(name));
        // The same letter è written decomposed (e + combining grave), as some
        // systems store it.
        touch(QString::fromUtf8("o\xcc\x80.wav"));
        touch("../outside.wav");
        QVERIFY(QDir(m_folder).mkpath("dir.wav"));
        QVERIFY(QFile::link(m_root.path() + "/outside.wav", m_folder + "link.wav"));
    }

    void namesFindTheirFile_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("a name without extension gets .wav") << QByteArray("v") << QByteArray("v.wav");
        QTest::newRow("upper case finds lower case") << QByteArray("V") << QByteArray("v.wav");
        QTest::newRow("lower case finds upper case") << QByteArray("j") << QByteArray("J.wav");
        QTest::newRow("exact name") << QByteArray("J") << QByteArray("J.wav");
        QTest::newRow("È finds è.wav") << QByteArray("\xc3\x88") << QByteArray("\xc3\xa8.wav");
        QTest::newRow("è finds è.wav") << QByteArray("\xc3\xa8") << QByteArray("\xc3\xa8.wav");
        QTest::newRow("Ò finds a decomposed ò.wav") << QByteArray("\xc3\x92") << QByteArray("o\xcc\x80.wav");
        QTest::newRow("a file name with extension, any case") << QByteArray("LASER.WAV") << QByteArray("Laser.wav");
        QTest::newRow("the exact match wins") << QByteArray("Dup") << QByteArray("Dup.wav");
        QTest::newRow("otherwise the lowest name wins") << QByteArray("dUp") << QByteArray("DUP.wav");
    }

    void namesFindTheirFile()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, file);
        const auto found = resolve(name);
        QVERIFY(found);
        QCOMPARE(QByteArray::fromStdString(*found), (m_folder.toUtf8() + file));
    }

    void namesThatFindNothing_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("empty name (the folder itself)") << QByteArray("");
        QTest::newRow("a space") << QByteArray(" ");
        QTest::newRow("C, which only the pads map to k.wav") << QByteArray("C");
        QTest::newRow("a digit") << QByteArray("7");
        QTest::newRow("a slash") << QByteArray("/");
        QTest::newRow("a backslash") << QByteArray("\\");
        QTest::newRow("a dot") << QByteArray(".");
        QTest::newRow("two dots") << QByteArray("..");
        QTest::newRow("three dots") << QByteArray("...");
        QTest::newRow("up and out") << QByteArray("../outside");
        QTest::newRow("up and out, backslash") << QByteArray("..\\outside");
        QTest::newRow("into a subfolder") << QByteArray("sub/x");
        QTest::newRow("absolute path") << QByteArray("/etc/passwd");
        QTest::newRow("a NUL inside") << QByteArray("v\0x", 3);
        QTest::newRow("a folder named like a sample") << QByteArray("dir");
        QTest::newRow("a link leading out") << QByteArray("link");
        QTest::newRow("a name with no .wav file") << QByteArray("noext.x");
    }

    void namesThatFindNothing()
    {
        QFETCH(QByteArray, name);
        QVERIFY(!resolve(name));
    }

    void pathsOutsideTheFolderFindNothing()
    {
        const std::string folder = m_folder.toStdString();
        QVERIFY(!resolve(m_root.path().toStdString() + "/outside.wav", folder));
        QVERIFY(!resolve(folder + "v", "relative/voc/"));
        QVERIFY(!resolve(folder + "v", folder.substr(0, folder.size() - 1)));
    }

    void aMissingFolderFindsNothing()
    {
        const std::string folder = m_root.path().toStdString() + "/missing/voc/";
        QVERIFY(!resolve(folder + "v", folder));
    }
};

QTEST_APPLESS_MAIN(TestSampleNames)
#include "tst_samplenames.moc"
