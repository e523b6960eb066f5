#include "keys/PatternLength.h"
#include "sequencer/StepLoop.h"
#include "sequencer/StepSequencer.h"

#include <QTest>

#include <vector>

namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kInterval = StepLoop::kIntervalNs;

struct Tick
{
    int step;
    std::int64_t due;
    bool operator==(const Tick &) const = default;
};

// Runs the loop as its owner does: at each wake-up `late` after the first
// due time, every step due by then ticks.
std::vector<Tick> run(StepLoop &loop, std::int64_t until, std::int64_t late = 0)
{
    std::vector<Tick> ticks;
    while (const auto first = loop.firstDue()) {
        const std::int64_t now = *loop.dueNs(*first) + late;
        if (now > until)
            break;
        while (const auto step = loop.dueBy(now))
            ticks.push_back({*step, loop.tick(*step, now)});
    }
    return ticks;
}

} // namespace

// The loop's timing rules on their own, with times passed in: no event loop,
// no timers, no window.
class TestStepLoop : public QObject
{
    Q_OBJECT

private slots:
    void stepNames_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("the start-up pattern, spaces included")
            << "V B VVF" << QStringList{"V", " ", "B", " ", "V", "V", "F"};
        QTest::newRow("a short pattern: five empty names") << "AB" << QStringList{"A", "B", "", "", "", "", ""};
        QTest::newRow("characters are taken unchanged") << "è/.\\a" << QStringList{"è", "/", ".", "\\", "a", "", ""};
        QTest::newRow("nothing past the seventh") << "ABCDEFGHI" << QStringList{"A", "B", "C", "D", "E", "F", "G"};
    }

    void stepNames()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, names);
        QStringList got;
        for (int step = 1; step <= PatternLength::kSteps; ++step)
            got << QString::fromStdString(StepSequencer::stepName(pattern, step));
        QCOMPARE(got, names);
    }

    void aStartArmsStepOneOneIntervalLater()
    {
        StepLoop loop;
        QVERIFY(loop.isStopped());
        loop.start(1000 * kMs);
        QVERIFY(loop.isArmed(1));
        QCOMPARE(loop.dueNs(1), std::optional<std::int64_t>(1200 * kMs));
        QVERIFY(!loop.dueBy(1199 * kMs));
        QCOMPARE(loop.dueBy(1200 * kMs), std::optional<int>(1));
    }

    void aChainKeepsItsGridHoweverLateItsTicksCome_data()
    {
        QTest::addColumn<qint64>("lateNs");
        QTest::newRow("ticks on time") << qint64(0);
        QTest::newRow("every tick 3 ms late") << qint64(3 * kMs);
        QTest::newRow("every tick 150 ms late") << qint64(150 * kMs);
    }

    void aChainKeepsItsGridHoweverLateItsTicksCome()
    {
        QFETCH(qint64, lateNs);
        StepLoop loop;
        loop.start(0);
        const auto ticks = run(loop, 3000 * kInterval + lateNs, lateNs);
        QCOMPARE(ticks.size(), std::size_t(3000));
        for (std::size_t k = 0; k < ticks.size(); ++k) {
            QCOMPARE(ticks[k].step, int(k % 7) + 1);
            QCOMPARE(ticks[k].due, std::int64_t(k + 1) * kInterval);
        }
    }

    void aTickArmsTheNextStepAndTheSeventhTheFirst()
    {
        StepLoop loop;
        loop.start(0);
        for (int step = 1; step <= 7; ++step) {
            QVERIFY(loop.isArmed(step));
            loop.tick(step, step * kInterval);
            QVERIFY(!loop.isArmed(step));
        }
        QVERIFY(loop.isArmed(1));
        QCOMPARE(loop.dueNs(1), std::optional<std::int64_t>(8 * kInterval));
    }

    void aStartWhileStepOneIsPendingRestartsItsCount()
    {
        StepLoop loop;
        loop.start(0);
        loop.start(50 * kMs);
        QCOMPARE(loop.dueNs(1), std::optional<std::int64_t>(250 * kMs));
        QCOMPARE(run(loop, 300 * kMs), (std::vector<Tick>{{1, 250 * kMs}}));
    }

    void aSecondStartAddsASecondChainOnItsOwnGrid()
    {
        StepLoop loop;
        loop.start(0);
        run(loop, 2 * kInterval); // steps 1 and 2 played, step 3 pending at 600 ms
        loop.start(450 * kMs);    // step 1 of a second chain at 650 ms
        const auto ticks = run(loop, 1100 * kMs);
        const std::vector<Tick> expected = {{3, 600 * kMs}, {1, 650 * kMs},  {4, 800 * kMs},
                                            {2, 850 * kMs}, {5, 1000 * kMs}, {3, 1050 * kMs}};
        QCOMPARE(ticks, expected);
    }

    void chainsMergeWhenOneArmsTheStepTheOtherHasPending()
    {
        StepLoop loop;
        loop.start(0);
        run(loop, 6 * kInterval); // step 7 pending at 1400 ms
        loop.start(1300 * kMs);   // step 1 pending at 1500 ms
        loop.tick(7, 1400 * kMs); // arms step 1 again: one chain, on the ticking chain's grid
        QCOMPARE(loop.dueNs(1), std::optional<std::int64_t>(1600 * kMs));
        int armed = 0;
        for (int step = 1; step <= 7; ++step)
            armed += loop.isArmed(step) ? 1 : 0;
        QCOMPARE(armed, 1);
    }

    void stopDisarmsEveryChain()
    {
        StepLoop loop;
        loop.start(0);
        run(loop, 2 * kInterval);
        loop.start(450 * kMs);
        loop.stop();
        QVERIFY(loop.isStopped());
        QVERIFY(!loop.firstDue());
        QVERIFY(run(loop, 10 * kInterval).empty());
    }

    void aTickOfAStepThatWasNotArmedCountsAsDueNow()
    {
        StepLoop loop;
        QCOMPARE(loop.tick(3, 777 * kMs), 777 * kMs);
        QCOMPARE(loop.dueNs(4), std::optional<std::int64_t>(977 * kMs));
    }

    void aVeryLateWakeUpTicksEveryStepItMissedInOrder()
    {
        // The owner stalled for half a second: the missed steps tick at once,
        // in order, still stamped with their own due times.
        StepLoop loop;
        loop.start(0);
        std::vector<Tick> ticks;
        while (const auto step = loop.dueBy(700 * kMs))
            ticks.push_back({*step, loop.tick(*step, 700 * kMs)});
        QCOMPARE(ticks, (std::vector<Tick>{{1, 200 * kMs}, {2, 400 * kMs}, {3, 600 * kMs}}));
        QCOMPARE(loop.dueNs(4), std::optional<std::int64_t>(800 * kMs));
    }
};

QTEST_GUILESS_MAIN(TestStepLoop)
#include "tst_steploop.moc"
