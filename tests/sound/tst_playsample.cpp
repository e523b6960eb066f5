#include "ApplicationFolder.h"
#include "RecordingSink.h"
#include "SoundBank.h"

#include <QCoreApplication>
#include <QTest>

class TestPlaySample : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SoundBank::setSink(nullptr); }

    void theApplicationFolderIsTheExecutablesFolder()
    {
        QCOMPARE(QString::fromStdString(applicationFolder()), QCoreApplication::applicationDirPath());
    }

    void thePathIsFolderVocAndName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("a pad's file name") << QByteArray("Laser.wav");
        QTest::newRow("a step's letter") << QByteArray("V");
        QTest::newRow("an accented capital") << QByteArray("\xc3\x88");
        QTest::newRow("a space, kept as it is") << QByteArray(" ");
        QTest::newRow("the empty name names the folder") << QByteArray("");
        QTest::newRow("a separator is not interpreted") << QByteArray("\\");
    }

    void thePathIsFolderVocAndName()
    {
        QFETCH(QByteArray, name);
        RecordingSink sink;
        SoundBank::setSink(&sink);
        PlaySample(name.toStdString());
        QCOMPARE(sink.paths.size(), std::size_t(1));
        const QByteArray expected = QCoreApplication::applicationDirPath().toUtf8() + "/voc/" + name;
        QCOMPARE(QByteArray::fromStdString(sink.paths.front()), expected);
    }

    void withoutASinkNothingHappens()
    {
        PlaySample("v.wav");
        RecordingSink sink;
        SoundBank::setSink(&sink);
        PlaySample("b.wav");
        QCOMPARE(sink.paths.size(), std::size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestPlaySample)
#include "tst_playsample.moc"
