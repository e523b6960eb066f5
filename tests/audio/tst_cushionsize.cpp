#include "audio/outputs/CushionSize.h"

#include <QTest>

// The cushion an output keeps queued, from the times its server ran dry:
// holes grow it, a clean while brings it back down.
class TestCushionSize : public QObject
{
    Q_OBJECT

private slots:
    void theCushionFollowsTheHoles_data()
    {
        QTest::addColumn<QList<int>>("holesMs");
        QTest::addColumn<int>("endMs");
        QTest::addColumn<int>("frames");
        QTest::newRow("a hole grows it by a step") << QList<int>{0} << 1000 << 512;
        QTest::newRow("underruns within a second of a growth are the same hole")
            << QList<int>{0, 300, 900} << 1000 << 512;
        QTest::newRow("every hole apart grows it again") << QList<int>{0, 1100, 2200} << 3000 << 768;
        QTest::newRow("it stops at its ceiling") << QList<int>{0, 1100, 2200, 3300, 4400, 5500} << 6000 << 1024;
        QTest::newRow("after a clean while it comes down a step at a time")
            << QList<int>{0, 1100, 2200} << 35000 << 512;
        QTest::newRow("from its ceiling it is quiet again within a minute")
            << QList<int>{0, 1100, 2200, 3300, 4400} << 64400 << 384;
        QTest::newRow("a hole while it comes down grows it and starts the clean while again")
            << QList<int>{0, 1100, 2200, 33000} << 42000 << 768;
    }

    void theCushionFollowsTheHoles()
    {
        QFETCH(QList<int>, holesMs);
        QFETCH(int, endMs);
        QFETCH(int, frames);
        CushionSize cushion(384, 128, 1024);
        auto hole = holesMs.begin();
        for (int ms = 0; ms <= endMs; ms += 100) {
            const std::int64_t ns = std::int64_t(ms) * 1'000'000;
            for (; hole != holesMs.end() && *hole <= ms; ++hole)
                cushion.hole(std::int64_t(*hole) * 1'000'000);
            if (cushion.shrinkDue(ns))
                cushion.shrink(ns);
        }
        QCOMPARE(cushion.frames(), frames);
    }
};

QTEST_GUILESS_MAIN(TestCushionSize)
#include "tst_cushionsize.moc"
