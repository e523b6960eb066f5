#include "audio/CushionGrowth.h"

#include <QTest>

// The cushion grows when underruns keep coming, not for a machine that held
// up once; the frames asked of the server are what a listener's keys wait.
class TestCushionGrowth : public QObject
{
    Q_OBJECT

private slots:
    void theCushionGrowsOnlyWhenUnderrunsComeBack_data()
    {
        QTest::addColumn<QList<int>>("underrunsMs");
        QTest::addColumn<int>("frames");
        QTest::newRow("an underrun alone leaves it") << QList<int>{1000} << 256;
        QTest::newRow("underruns far apart leave it") << QList<int>{1000, 5000, 9000} << 256;
        QTest::newRow("a second hold-up within 3 s grows it a block") << QList<int>{1000, 3900} << 384;
        QTest::newRow("a second of underrun after underrun is one hold-up")
            << QList<int>{1000, 1300, 1600, 1950} << 256;
        QTest::newRow("the underruns of a second hold-up grow it once") << QList<int>{1000, 3000, 3400, 3900} << 384;
        QTest::newRow("steady underruns grow it up to its ceiling")
            << QList<int>{1000, 1600, 2200, 2800, 3400, 4000, 4600} << 512;
    }
    void theCushionGrowsOnlyWhenUnderrunsComeBack()
    {
        QFETCH(QList<int>, underrunsMs);
        QFETCH(int, frames);
        CushionGrowth cushion(256, 128, 512);
        for (const int ms : underrunsMs)
            cushion.underrun(std::int64_t(ms) * 1'000'000);
        QCOMPARE(cushion.frames(), frames);
    }
};

QTEST_GUILESS_MAIN(TestCushionGrowth)
#include "tst_cushiongrowth.moc"
