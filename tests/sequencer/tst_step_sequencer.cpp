#include "ColourButton.h"
#include "Form1.h"
#include "FormControls.h"
#include "RecordingSink.h"
#include "SoundBank.h"
#include "StepSequencer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>
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

    Names played() const { return m_sink.names(); }

    QTimer *timer(const char *name) const { return m_form->findChild<QTimer *>(QLatin1String(name)); }

    // The names of the armed step timers.
    QStringList armed() const
    {
        QStringList names;
        for (const char *name : {"Timer2", "Timer3", "Timer5", "Timer6", "Timer7", "Timer8", "Timer9"})
            if (timer(name)->isActive())
                names << QString::fromLatin1(name);
        return names;
    }

    // Runs the tick handler of whichever step is armed, `count` times.
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            const QStringList pending = armed();
            QVERIFY2(pending.size() == 1, qPrintable(pending.join(' ')));
            const QByteArray handler = pending.front().toLatin1() + "_Timer";
            QVERIFY(QMetaObject::invokeMethod(m_form.get(), handler.constData(), Qt::DirectConnection));
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
        m_sink.install();
        m_form = std::make_unique<Form1>();
    }

    void cleanup()
    {
        m_form.reset();
        RecordingSink::uninstall();
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
        QCOMPARE(armed(), QStringList{"Timer2"});
        tick(14);
        QCOMPARE(played(), loop + loop);
        QCOMPARE(armed(), QStringList{"Timer2"}); // the seventh armed the first again
    }

    void eachTickArmsTheNextStep()
    {
        const QStringList chain = {"Timer2", "Timer3", "Timer5", "Timer6", "Timer7", "Timer8", "Timer9", "Timer2"};
        m_form->Command2_Click();
        for (int i = 0; i + 1 < chain.size(); ++i) {
            QCOMPARE(armed(), QStringList{chain[i]});
            tick();
        }
        QCOMPARE(armed(), QStringList{"Timer2"});
    }

    void startingAnEmptyPatternDoesNothing()
    {
        setPattern(QString());
        m_form->Command2_Click();
        QCOMPARE(armed(), QStringList());
        QVERIFY(!playingColours());
        QCOMPARE(played(), Names{});
    }

    void aPatternOfSpacesIsNotEmpty()
    {
        setPattern(QStringLiteral("  "));
        m_form->Command2_Click();
        QCOMPARE(armed(), QStringList{"Timer2"});
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
        QCOMPARE(armed(), QStringList{"Timer8"});
        QVERIFY(playingColours());
    }

    void stopDisarmsEveryStepAndSwapsTheColours()
    {
        QVERIFY(!playingColours()); // at start-up
        m_form->Command2_Click();
        QVERIFY(playingColours());
        tick(3);
        m_form->cmdFerma_Click();
        QCOMPARE(armed(), QStringList());
        QVERIFY(!playingColours());
        QCOMPARE(played().size(), 3);
        m_form->cmdFerma_Click(); // stop while stopped: colours set again, nothing else
        QVERIFY(!playingColours());
        QCOMPARE(armed(), QStringList());
    }

    void startWhileAStepIsPending_data()
    {
        QTest::addColumn<int>("ticksBefore");
        QTest::addColumn<QStringList>("armedAfterStart");
        QTest::newRow("step 1 pending: still one chain") << 0 << QStringList{"Timer2"};
        QTest::newRow("step 2 pending: a second chain") << 1 << QStringList{"Timer2", "Timer3"};
        QTest::newRow("step 4 pending: a second chain") << 3 << QStringList{"Timer2", "Timer6"};
        QTest::newRow("step 7 pending: a second chain") << 6 << QStringList{"Timer2", "Timer9"};
    }

    void startWhileAStepIsPending()
    {
        QFETCH(int, ticksBefore);
        QFETCH(QStringList, armedAfterStart);
        m_form->Command2_Click();
        tick(ticksBefore);
        m_form->Command2_Click();
        QCOMPARE(armed(), armedAfterStart);
        QVERIFY(playingColours());
    }

    void twoChainsRunSideBySideUntilTheyMerge()
    {
        m_form->Command2_Click();
        tick(2); // V, space; step 3 (Timer5) pending
        m_form->Command2_Click();
        QCOMPARE(armed(), (QStringList{"Timer2", "Timer5"}));
        m_sink.paths.clear();
        m_form->Timer5_Timer(); // first chain: B, arms Timer6
        m_form->Timer2_Timer(); // second chain: V, arms Timer3
        QCOMPARE(played(), (Names{"B", "V"}));
        QCOMPARE(armed(), (QStringList{"Timer3", "Timer6"}));
        m_form->cmdFerma_Click();
        QCOMPARE(armed(), QStringList());
    }

    void startWithStepSevenPendingMergesAtItsTick()
    {
        m_form->Command2_Click();
        tick(6);
        m_form->Command2_Click();
        m_form->Timer9_Timer(); // arms Timer2, which the start has just armed
        QCOMPARE(armed(), QStringList{"Timer2"});
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

    void stepTimersArePreciseAndTwoHundredMilliseconds()
    {
        for (const char *name : {"Timer2", "Timer3", "Timer5", "Timer6", "Timer7", "Timer8", "Timer9"}) {
            QCOMPARE(timer(name)->interval(), 200);
            QCOMPARE(timer(name)->timerType(), Qt::PreciseTimer);
        }
    }

    void withRealTimersTheFirstStepComesAfterAnInterval()
    {
        setPattern(QStringLiteral("AB"));
        QElapsedTimer clock;
        clock.start();
        control<QPushButton>(m_form.get(), "Command2")->click();
        QCOMPARE(played(), Names{});
        QTRY_VERIFY_WITH_TIMEOUT(!m_sink.paths.empty(), 10000);
        QVERIFY2(clock.elapsed() >= 195, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(m_sink.paths.size() >= 9, 30000);
        control<QPushButton>(m_form.get(), "cmdFerma")->click();
        QCOMPARE(played().mid(0, 9), (Names{"A", "B", "", "", "", "", "", "A", "B"}));
    }
};

QTEST_MAIN(TestStepSequencer)
#include "tst_step_sequencer.moc"
