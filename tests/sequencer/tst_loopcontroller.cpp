#include "sequencer/LoopController.h"
#include "support/RecordingSink.h"

#include <QTest>
#include <QTimer>

namespace {
constexpr std::int64_t kMs = 1'000'000;
}

// The loop without a window: the pattern is a string the test changes, the
// sound clock a number it moves on. Each step's turn goes to that step's
// handler with its beat, and the handler has the step played.
class TestLoopController : public QObject
{
    Q_OBJECT

private slots:
    void eachStepsHandlerPlaysItsCharacterOnItsBeat_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("stopAfterMs"); // 0: never
        QTest::addColumn<QStringList>("played");
        QTest::addColumn<bool>("playing");
        QTest::newRow("an empty pattern does not start") << "" << 0 << QStringList() << false;
        QTest::newRow("seven steps, then the first again")
            << "VB JKFX" << 0 << QStringList{"V", "B", " ", "J", "K", "F", "X", "V"} << true;
        QTest::newRow("Ferma after three beats: nothing more, the step asked for ahead included")
            << "VBJK" << 790 << QStringList{"V", "B", "J"} << false;
    }

    void eachStepsHandlerPlaysItsCharacterOnItsBeat()
    {
        QFETCH(QString, pattern);
        QFETCH(int, stopAfterMs);
        QFETCH(QStringList, played);
        QFETCH(bool, playing);
        RecordingSink sink;
        sink.clockNs = 1'000'000 * kMs;
        const std::int64_t start = *sink.clockNs;
        LoopController loop(sink, [&] { return pattern; });
        std::array<LoopController::StepHandler, PatternLength::kSteps> handlers;
        std::vector<int> handled;
        for (int step = 1; step <= PatternLength::kSteps; ++step)
            handlers[std::size_t(step - 1)] = [&, step](std::int64_t beat) {
                handled.push_back(step);
                loop.playStep(step, beat);
            };
        loop.setStepHandlers(handlers);
        QCOMPARE(loop.play(), !pattern.isEmpty());
        auto *timer = loop.clock().findChild<QTimer *>(QStringLiteral("stepClock"));
        for (int ms = 10; ms <= 1650; ms += 10) {
            *sink.clockNs += 10 * kMs;
            QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
            if (ms == stopAfterMs)
                loop.stop();
        }
        QCOMPARE(sink.names, played);
        QCOMPARE(loop.playing(), playing);
        for (std::size_t k = 0; k < sink.stamps.size(); ++k) {
            QCOMPARE(handled[k], int(k % 7) + 1);
            QCOMPARE(sink.stamps[k] - start, std::int64_t(k + 1) * 200 * kMs);
        }
    }
};

QTEST_GUILESS_MAIN(TestLoopController)
#include "tst_loopcontroller.moc"
