#include "app/ColourButton.h"
#include "app/Form1.h"
#include "support/FormControls.h"
#include "support/RecordingSink.h"
#include "sequencer/StepSequencer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>

#include <memory>

using Names = QStringList;

// The loop: which step names it plays, in which order, when, and how start
// and stop arm the step timers and colour the two buttons.
class TestStepSequencer : public QObject
{
    Q_OBJECT

    std::unique_ptr<Form1> m_form;
    RecordingSink m_sink;

    Names played() const { return m_sink.names; }

    using Steps = QList<int>;

    // The steps armed, 1 to 7.
    Steps armed() const { return m_form->armedSteps(); }

    // Runs the tick handler of whichever step is armed, `count` times.
    void tick(int count = 1)
    {
        static const char *const handlers[] = {"Timer2_Timer", "Timer3_Timer", "Timer5_Timer", "Timer6_Timer",
                                               "Timer7_Timer", "Timer8_Timer", "Timer9_Timer"};
        for (int i = 0; i < count; ++i) {
            const Steps pending = armed();
            QCOMPARE(pending.size(), 1);
            QVERIFY(QMetaObject::invokeMethod(m_form.get(), handlers[pending.front() - 1], Qt::DirectConnection));
        }
    }

    void setPattern(const QString &text) { control<QLineEdit>(m_form.get(), "Text1")->setText(text); }

    bool playingColours() const
    {
        const QColor lightGrey(224, 224, 224);
        const QColor face = QApplication::palette().color(QPalette::Button);
        const QColor play = control<ColourButton>(m_form.get(), "Command2")->backColour();
        const QColor stop = control<ColourButton>(m_form.get(), "cmdFerma")->backColour();
        if (play == lightGrey && stop == face)
            return false;
        if (play == face && stop == lightGrey)
            return true;
        qFatal("the buttons show neither state");
    }

private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void init()
    {
        m_sink.clear();
        m_form = std::make_unique<Form1>(m_sink);
    }

    void cleanup()
    {
        m_form.reset();
    }

    void stepNames_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<Names>("names");
        QTest::newRow("the start-up pattern, spaces included")
            << "V B VVF" << Names{"V", " ", "B", " ", "V", "V", "F"};
        QTest::newRow("a short pattern: five empty names") << "AB" << Names{"A", "B", "", "", "", "", ""};
        QTest::newRow("characters are taken unchanged") << "è/.\\a" << Names{"è", "/", ".", "\\", "a", "", ""};
        QTest::newRow("nothing past the seventh") << "ABCDEFGHI" << Names{"A", "B", "C", "D", "E", "F", "G"};
    }

    void stepNames()
    {
        QFETCH(QString, pattern);
        QFETCH(Names, names);
        Names got;
        for (int step = 1; step <= StepSequencer::kSteps; ++step)
            got << QString::fromStdString(StepSequencer::stepName(pattern, step));
        QCOMPARE(got, names);
    }

    void theLoopPlaysEveryPositionAndWraps_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<Names>("loop");
        QTest::newRow("V B VVF") << "V B VVF" << Names{"V", " ", "B", " ", "V", "V", "F"};
        QTest::newRow("AB, then five empty names") << "AB" << Names{"A", "B", "", "", "", "", ""};
    }

    void theLoopPlaysEveryPositionAndWraps()
    {
        QFETCH(QString, pattern);
        QFETCH(Names, loop);
        setPattern(pattern);
        m_form->Command2_Click();
        QCOMPARE(played(), Names{}); // the start itself plays nothing
        QCOMPARE(armed(), Steps{1});
        tick(14);
        QCOMPARE(played(), loop + loop);
        QCOMPARE(armed(), Steps{1}); // the seventh armed the first again
    }

    void eachTickArmsTheNextStep()
    {
        m_form->Command2_Click();
        for (int step = 1; step <= 7; ++step) {
            QCOMPARE(armed(), Steps{step});
            tick();
        }
        QCOMPARE(armed(), Steps{1});
    }

    void startingAnEmptyPatternDoesNothing()
    {
        setPattern(QString());
        m_form->Command2_Click();
        QCOMPARE(armed(), Steps());
        QVERIFY(!playingColours());
        QCOMPARE(played(), Names{});
    }

    void aPatternOfSpacesIsNotEmpty()
    {
        setPattern(QStringLiteral("  "));
        m_form->Command2_Click();
        QCOMPARE(armed(), Steps{1});
        QVERIFY(playingColours());
    }

    void editsTakeEffectAtTheNextStepThatReadsThem()
    {
        m_form->Command2_Click();
        tick(); // V
        setPattern(QStringLiteral("XYZ"));
        tick(2); // Y, Z
        setPattern(QString()); // cleared while playing: the loop goes on
        tick(2);
        QCOMPARE(played(), (Names{"V", "Y", "Z", "", ""}));
        QCOMPARE(armed(), Steps{6});
        QVERIFY(playingColours());
    }

    void stopDisarmsEveryStepAndSwapsTheColours()
    {
        QVERIFY(!playingColours()); // at start-up
        m_form->Command2_Click();
        QVERIFY(playingColours());
        tick(3);
        m_form->cmdFerma_Click();
        QCOMPARE(armed(), Steps());
        QVERIFY(!playingColours());
        QCOMPARE(played().size(), 3);
        m_form->cmdFerma_Click(); // stop while stopped: colours set again, nothing else
        QVERIFY(!playingColours());
        QCOMPARE(armed(), Steps());
    }

    void startWhileAStepIsPending_data()
    {
        QTest::addColumn<int>("ticksBefore");
        QTest::addColumn<Steps>("armedAfterStart");
        QTest::newRow("step 1 pending: still one chain") << 0 << Steps{1};
        QTest::newRow("step 2 pending: a second chain") << 1 << Steps{1, 2};
        QTest::newRow("step 4 pending: a second chain") << 3 << Steps{1, 4};
        QTest::newRow("step 7 pending: a second chain") << 6 << Steps{1, 7};
    }

    void startWhileAStepIsPending()
    {
        QFETCH(int, ticksBefore);
        QFETCH(Steps, armedAfterStart);
        m_form->Command2_Click();
        tick(ticksBefore);
        m_form->Command2_Click();
        QCOMPARE(armed(), armedAfterStart);
        QVERIFY(playingColours());
    }

    void twoChainsRunSideBySideUntilTheyMerge()
    {
        m_form->Command2_Click();
        tick(2); // V, space; step 3 pending
        m_form->Command2_Click();
        QCOMPARE(armed(), (Steps{1, 3}));
        m_sink.clear();
        m_form->Timer5_Timer(); // first chain: B, arms step 4
        m_form->Timer2_Timer(); // second chain: V, arms step 2
        QCOMPARE(played(), (Names{"B", "V"}));
        QCOMPARE(armed(), (Steps{2, 4}));
        m_form->cmdFerma_Click();
        QCOMPARE(armed(), Steps());
    }

    void startWithStepSevenPendingMergesAtItsTick()
    {
        m_form->Command2_Click();
        tick(6);
        m_form->Command2_Click();
        m_form->Timer9_Timer(); // arms step 1, which the start has just armed
        QCOMPARE(armed(), Steps{1});
    }

    void padsAndStepsShareTheOneVoice()
    {
        setPattern(QStringLiteral("VB"));
        m_form->Command2_Click();
        tick(); // V
        auto *text1 = control<QLineEdit>(m_form.get(), "Text1");
        text1->setFocus();
        QTest::keyClick(text1, 'k'); // a pad while the loop plays
        tick(); // B
        QCOMPARE(played(), (Names{"V", "k.wav", "B"}));
    }

    void everyStepIsStampedWithItsChainsGrid()
    {
        // However late the ticks run, each step's sound stands for its due
        // time: start + k × 200 ms.
        const std::int64_t start = m_sink.nowNs();
        m_form->Command2_Click();
        tick(9);
        QCOMPARE(m_sink.stamps.size(), std::size_t(9));
        const std::int64_t first = m_sink.stamps[0];
        QVERIFY(first - start >= 200'000'000 && first - start < 300'000'000);
        for (std::size_t k = 0; k < m_sink.stamps.size(); ++k)
            QCOMPARE(m_sink.stamps[k] - first, std::int64_t(k) * 200'000'000);
    }

    void beatsMissedWhileTheWindowWasHeldUpPassInSilence()
    {
        // The window does not answer for 750 ms: steps 1 and 2 are more than
        // a step late and are not played in a burst; the loop goes on on its
        // grid.
        setPattern(QStringLiteral("ABCDEFG"));
        const std::int64_t clicked = m_sink.nowNs();
        control<QPushButton>(m_form.get(), "Command2")->click();
        QThread::msleep(750);
        QTRY_VERIFY_WITH_TIMEOUT(m_sink.names.size() >= 2, 10000);
        control<QPushButton>(m_form.get(), "cmdFerma")->click();
        QVERIFY2(!played().contains("A") && !played().contains("B"), qPrintable(played().join(',')));
        for (const std::int64_t stamp : m_sink.stamps) {
            const std::int64_t sinceStart = stamp - clicked;
            const std::int64_t offGrid = (sinceStart + 100'000'000) % 200'000'000 - 100'000'000;
            QVERIFY(std::abs(offGrid) < 5'000'000); // the click and the start are moments apart
        }
    }

    void withRealTimersTheFirstStepSoundsAnIntervalAfterTheStart()
    {
        // The step is asked for a little ahead of its beat (so that a busy
        // machine does not move it), stamped with the beat itself.
        setPattern(QStringLiteral("AB"));
        const std::int64_t clicked = m_sink.nowNs();
        control<QPushButton>(m_form.get(), "Command2")->click();
        QCOMPARE(played(), Names{});
        QTRY_VERIFY_WITH_TIMEOUT(!m_sink.names.empty(), 10000);
        const std::int64_t asked = m_sink.nowNs();
        QVERIFY(m_sink.stamps[0] - clicked >= 200'000'000);
        QVERIFY(m_sink.stamps[0] - asked <= Form1::kStepLeadNs);
        QTRY_VERIFY_WITH_TIMEOUT(m_sink.names.size() >= 9, 30000);
        control<QPushButton>(m_form.get(), "cmdFerma")->click();
        QCOMPARE(played().mid(0, 9), (Names{"A", "B", "", "", "", "", "", "A", "B"}));
    }
};

QTEST_MAIN(TestStepSequencer)
#include "tst_step_sequencer.moc"
