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
        // (Shorter patterns and the characters taken as they are: tst_loop,
        // as the window plays them.)
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

    // (A second start beside a first, the chains merging, and a stop that
    // silences both: tst_loop's playingAgainWhilePlaying, as a user meets
    // them.)

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
