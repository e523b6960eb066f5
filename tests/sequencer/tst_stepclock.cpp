#include "sequencer/StepClock.h"

#include <QTest>
#include <QTimer>

#include <vector>

namespace {
constexpr std::int64_t kMs = 1'000'000;
}

// The loop's clock without a window: its time is a number the test moves
// on, and its timer is given its turn by hand.
class TestStepClock : public QObject
{
    Q_OBJECT

    std::int64_t m_now = 1'000'000 * kMs;
    std::vector<std::int64_t> m_beats; // what each step was stamped with

    // Lets `ms` pass, `turnMs` at a time, the clock's timer running after each.
    void pass(StepClock &clock, int ms, int turnMs)
    {
        auto *timer = clock.findChild<QTimer *>(QStringLiteral("stepClock"));
        QVERIFY(timer);
        for (int done = 0; done < ms; done += turnMs) {
            m_now += turnMs * kMs;
            QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
        }
    }

private slots:
    void init() { m_beats.clear(); }

    void aStepIsAskedForAsFarAheadAsTheOutputNeeds_data()
    {
        QTest::addColumn<int>("aheadMs");
        QTest::addColumn<int>("askedMs"); // before the beat
        QTest::newRow("short blocks: the clock's own lead") << 12 << 30;
        QTest::newRow("blocks of 2,048 frames: a block, the lead and 10 ms") << 98 << 98;
    }

    void aStepIsAskedForAsFarAheadAsTheOutputNeeds()
    {
        QFETCH(int, aheadMs);
        QFETCH(int, askedMs);
        StepClock clock([this] { return m_now; });
        clock.setAhead([aheadMs] { return aheadMs * kMs; });
        std::int64_t askedAt = 0, beat = 0;
        connect(&clock, &StepClock::stepDue, this, [&](int, std::int64_t at) {
            if (!askedAt) {
                askedAt = m_now;
                beat = at;
            }
        });
        clock.start();
        pass(clock, 200, 1);
        QVERIFY(askedAt != 0);
        QCOMPARE((beat - askedAt) / kMs, std::int64_t(askedMs));
    }

    void everyStepIsStampedWithItsBeat_data()
    {
        QTest::addColumn<int>("turnMs");
        QTest::newRow("turns on time") << 10;
        QTest::newRow("turns 40 ms late") << 70;
        QTest::newRow("turns 150 ms late") << 150;
    }

    void everyStepIsStampedWithItsBeat()
    {
        // However late its turns come, each step stands for its beat,
        // start + k × 200 ms, and steps 1 to 7 follow in order.
        QFETCH(int, turnMs);
        StepClock clock([this] { return m_now; });
        std::vector<int> steps;
        connect(&clock, &StepClock::stepDue, this, [&](int step, std::int64_t beat) {
            steps.push_back(step);
            m_beats.push_back(beat);
        });
        const std::int64_t start = m_now;
        clock.start();
        pass(clock, 3000, turnMs);
        QVERIFY(m_beats.size() >= 14);
        for (std::size_t k = 0; k < m_beats.size(); ++k) {
            QCOMPARE(m_beats[k] - start, std::int64_t(k + 1) * 200 * kMs);
            QCOMPARE(steps[k], int(k % 7) + 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestStepClock)
#include "tst_stepclock.moc"
