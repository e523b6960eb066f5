#include "sound/SampleIndex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <utime.h>

// The sample folder's index, kept between requests: read once while the
// folder stays as it is, read again when it changes.
class TestSampleIndex : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    std::string m_folder;

    void touch(const std::string &name)
    {
        QFile f(QString::fromStdString(m_folder + name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("RIFF");
    }

    // Dates the folder back, as if its last change were long ago.
    void settle()
    {
        struct utimbuf old = {};
        old.actime = old.modtime = std::time(nullptr) - 60;
        QCOMPARE(::utime(m_folder.c_str(), &old), 0);
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>(); // a fresh folder for every test
        QVERIFY(m_root->isValid());
        m_folder = m_root->path().toStdString() + "/voc/";
        QVERIFY(QDir().mkpath(QString::fromStdString(m_folder)));
        for (int i = 0; i < 2000; ++i)
            touch("take" + std::to_string(i) + ".wav");
        touch("v.wav");
        touch("Laser.wav");
        settle();
    }

    void anExactNameIsFoundWithoutReadingTheFolder()
    {
        SampleIndex index(m_folder, SampleIndex::Reading::Here);
        for (int i = 0; i < 100; ++i)
            QCOMPARE(index.resolve(m_folder + "v.wav"), std::optional<std::string>(m_folder + "v.wav"));
        QCOMPARE(index.reads(), 0);
    }

    void otherSpellingsReadTheFolderOnceWhileItStaysTheSame()
    {
        SampleIndex index(m_folder, SampleIndex::Reading::Here);
        for (int i = 0; i < 100; ++i) {
            QCOMPARE(index.resolve(m_folder + "LASER"), std::optional<std::string>(m_folder + "Laser.wav"));
            QCOMPARE(index.resolve(m_folder + "V"), std::optional<std::string>(m_folder + "v.wav"));
            QVERIFY(!index.resolve(m_folder + "missing"));
        }
        QCOMPARE(index.reads(), 1);
    }

    void aFileAddedOrRenamedIsFoundAtItsNextRequest()
    {
        SampleIndex index(m_folder, SampleIndex::Reading::Here);
        QVERIFY(!index.resolve(m_folder + "NEW"));
        touch("New.wav");
        QCOMPARE(index.resolve(m_folder + "NEW"), std::optional<std::string>(m_folder + "New.wav"));
        settle();
        QVERIFY(QFile::rename(QString::fromStdString(m_folder + "New.wav"),
                              QString::fromStdString(m_folder + "Renamed.wav")));
        QVERIFY(!index.resolve(m_folder + "NEW"));
        QCOMPARE(index.resolve(m_folder + "RENAMED"), std::optional<std::string>(m_folder + "Renamed.wav"));
    }

    void linksAndFoldersAreNotSamples()
    {
        QVERIFY(QFile::link(QString::fromStdString(m_folder + "v.wav"), QString::fromStdString(m_folder + "link.wav")));
        QVERIFY(QDir().mkdir(QString::fromStdString(m_folder + "folder.wav")));
        SampleIndex index(m_folder, SampleIndex::Reading::Here);
        QVERIFY(!index.resolve(m_folder + "link.wav"));
        QVERIFY(!index.resolve(m_folder + "LINK"));
        QVERIFY(!index.resolve(m_folder + "folder.wav"));
    }

    void aLargeFolderIsReadOffTheRequestsWhileTheyGoOn()
    {
        SampleIndex index(m_folder);                 // 2,002 names: more than a request reads itself
        QVERIFY(!index.resolve(m_folder + "LASER")); // answered at once, by the index as it was
        QCOMPARE(index.reads(), 0);
        QTRY_COMPARE(index.resolve(m_folder + "LASER"), std::optional<std::string>(m_folder + "Laser.wav"));
        QCOMPARE(index.reads(), 1);
    }

    void aFolderDatedInTheFutureIsNotReadAgainAtEveryMiss()
    {
        struct utimbuf future = {};
        future.actime = future.modtime = std::time(nullptr) + 3600;
        QCOMPARE(::utime(m_folder.c_str(), &future), 0);
        SampleIndex index(m_folder, SampleIndex::Reading::Here);
        for (int i = 0; i < 10; ++i)
            QVERIFY(!index.resolve(m_folder + "missing"));
        QCOMPARE(index.reads(), 1);
        touch("New.wav"); // a change dates it now
        QCOMPARE(index.resolve(m_folder + "NEW"), std::optional<std::string>(m_folder + "New.wav"));
    }
};

QTEST_GUILESS_MAIN(TestSampleIndex)
#include "tst_sampleindex.moc"
