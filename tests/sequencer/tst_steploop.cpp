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
        QVERIFY(!loop.firstDue());
        loop.start(1000 * kMs);
        QVERIFY(loop.dueNs(1));
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

    void everyStepFallsOnItsTempoGrid_data()
    {
        QTest::addColumn<int>("stepsPerMinute");
        QTest::addColumn<int>("swing"); // %
        QTest::newRow("120 steps a minute") << 120 << 0;
        QTest::newRow("180 steps a minute: a third of a nanosecond a step rounded") << 180 << 0;
        QTest::newRow("the default tempo, 30 % swing") << 300 << 30;
        QTest::newRow("180 steps a minute, the most swing") << 180 << 50;
    }

    void everyStepFallsOnItsTempoGrid()
    {
        QFETCH(int, stepsPerMinute);
        QFETCH(int, swing);
        StepLoop loop;
        loop.setTempo({stepsPerMinute, swing}, 0);
        loop.start(0);
        // An hour, ticks 7 ms late, the hour's last step swung or not.
        const auto ticks =
            run(loop, std::int64_t(3600) * 1'000'000'000 + loop.tempo().intervalNs() / 2 + 7 * kMs, 7 * kMs);
        const double step = 60e9 / stepsPerMinute;
        for (std::size_t k = 0; k < ticks.size(); ++k) {
            const bool swung = ticks[k].step % 2 == 0;
            const double grid = double(k + 1) * step + (swung ? step * swing / 100 : 0);
            if (std::abs(double(ticks[k].due) - grid) > 1e9 / 48000) // a frame
                QFAIL(qPrintable(
                    QString("step %1 at %2 ns, its grid at %3").arg(k).arg(ticks[k].due).arg(grid, 0, 'f', 0)));
        }
        QCOMPARE(ticks.size(), std::size_t(60 * stepsPerMinute));
    }

    void aNewTempoIsHeardFromTheNextStep_data()
    {
        QTest::addColumn<int>("stepsPerMinute");    // the new tempo, from 300
        QTest::addColumn<qint64>("changedAfterNs"); // after the 10th beat
        QTest::addColumn<qint64>("nextNs");         // the 11th beat, after the 10th
        QTest::newRow("slower: the next step an interval of it after the last beat")
            << 180 << qint64(50 * kMs) << qint64(333'333'333);
        QTest::newRow("faster: the same") << 600 << qint64(50 * kMs) << qint64(100 * kMs);
        QTest::newRow("faster, its beat passed: at once, no earlier than asked for")
            << 600 << qint64(150 * kMs) << qint64(150 * kMs);
    }

    void aNewTempoIsHeardFromTheNextStep()
    {
        QFETCH(int, stepsPerMinute);
        QFETCH(qint64, changedAfterNs);
        QFETCH(qint64, nextNs);
        StepLoop loop;
        loop.start(0);
        const auto before = run(loop, 10 * kInterval);
        QCOMPARE(before.back().due, 10 * kInterval);
        loop.setTempo({stepsPerMinute, 0}, before.back().due + changedAfterNs);
        const std::int64_t next = *loop.dueNs(*loop.firstDue());
        QCOMPARE(next - before.back().due, nextNs);
        const std::int64_t interval = Tempo{stepsPerMinute, 0}.intervalNs();
        const auto after = run(loop, next + 3 * interval);
        QCOMPARE(after.size(), std::size_t(4));
        QCOMPARE(after[3].due - after[0].due, 3 * interval); // on its new grid
    }

    void aTickArmsTheNextStepAndTheSeventhTheFirst()
    {
        StepLoop loop;
        loop.start(0);
        for (int step = 1; step <= 7; ++step) {
            QVERIFY(loop.dueNs(step));
            loop.tick(step, step * kInterval);
            QVERIFY(!loop.dueNs(step));
        }
        QVERIFY(loop.dueNs(1));
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
