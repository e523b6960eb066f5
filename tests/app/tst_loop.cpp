#include "app/ColourButton.h"
#include "app/Form1.h"
#include "app/PatternField.h"
#include "sequencer/StepClock.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <QTimer>

#include <memory>

using Names = QStringList;

namespace {
constexpr std::int64_t kMs = 1'000'000;
}

// The loop as a person hears and sees it: which names it plays, in which
// order, on which beats, and the colours of the play and stop buttons. Time
// is the sound sink's clock, which the tests move on themselves.
class TestLoop : public QObject, public WindowFixture
{
    Q_OBJECT

    Names played() const { return m_sink.names; }

    // Lets `ms` milliseconds pass on the sound clock, `stepMs` at a time,
    // giving the window's step clock its turn after each.
    void pass(int ms, int stepMs = 50)
    {
        auto *clock = m_form->findChild<QTimer *>(QStringLiteral("stepClock"));
        QVERIFY(clock);
        for (int done = 0; done < ms;) {
            const int now = std::min(stepMs, ms - done);
            *m_sink.clockNs += now * kMs;
            done += now;
            QVERIFY(QMetaObject::invokeMethod(clock, "timeout"));
        }
    }

    // `count` beats of the loop.
    void beats(int count) { pass(count * 200); }

    void setPattern(const QString &text) { control<QLineEdit>(m_form.get(), "Text1")->setText(text); }
    void play() { control<QPushButton>(m_form.get(), "Command2")->click(); }
    void stop() { control<QPushButton>(m_form.get(), "cmdFerma")->click(); }

    // What the play and stop buttons' colours say: "playing", "stopped", or
    // "neither".
    QString buttons() const
    {
        const QColor lightGrey(224, 224, 224);
        const QColor face = QApplication::palette().color(QPalette::Button);
        const QColor playColour = control<ColourButton>(m_form.get(), "Command2")->backColour();
        const QColor stopColour = control<ColourButton>(m_form.get(), "cmdFerma")->backColour();
        if (playColour == lightGrey && stopColour == face)
            return QStringLiteral("stopped");
        if (playColour == face && stopColour == lightGrey)
            return QStringLiteral("playing");
        return QStringLiteral("neither");
    }

private slots:

    void init()
    {
        makeWindow();
        m_sink.clockNs = 1'000'000 * kMs;
    }

    void cleanup() { m_form.reset(); }

    void aNewWindowPlaysNothing()
    {
        pass(2000);
        QCOMPARE(played(), Names{});
        QCOMPARE(buttons(), QStringLiteral("stopped"));
    }

    void theLoopPlaysEveryPositionAndWraps_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<Names>("loop");
        QTest::newRow("the start-up pattern, spaces included") << "V B VVF" << Names{"V", " ", "B", " ", "V", "V", "F"};
        QTest::newRow("a short pattern: five empty names") << "AB" << Names{"A", "B", "", "", "", "", ""};
        QTest::newRow("characters are played as they are") << "è/.\\a" << Names{"è", "/", ".", "\\", "a", "", ""};
    }

    void theLoopPlaysEveryPositionAndWraps()
    {
        QFETCH(QString, pattern);
        QFETCH(Names, loop);
        setPattern(pattern);
        const std::int64_t start = m_sink.nowNs();
        play();
        QCOMPARE(played(), Names{}); // the start itself plays nothing
        pass(150);
        QCOMPARE(played(), Names{}); // nor anything for most of the first interval
        pass(50);
        QCOMPARE(played(), loop.mid(0, 1));
        QCOMPARE(m_sink.stamps.front() - start, 200 * kMs); // sounding on the first beat
        beats(13);
        QCOMPARE(played(), loop + loop);
        QCOMPARE(buttons(), QStringLiteral("playing"));
    }

    void startingAnEmptyPatternDoesNothing()
    {
        setPattern(QString());
        play();
        beats(3);
        QCOMPARE(played(), Names{});
        QCOMPARE(buttons(), QStringLiteral("stopped"));
    }

    void aPatternOfSpacesIsNotEmpty()
    {
        setPattern(QStringLiteral("  "));
        play();
        beats(3);
        QCOMPARE(played(), (Names{" ", " ", ""}));
        QCOMPARE(buttons(), QStringLiteral("playing"));
    }

    void editsTakeEffectAtTheNextStepThatReadsThem()
    {
        play();
        beats(1); // V
        setPattern(QStringLiteral("XYZ"));
        beats(2);              // Y, Z
        setPattern(QString()); // cleared while playing: the loop goes on
        beats(2);
        QCOMPARE(played(), (Names{"V", "Y", "Z", "", ""}));
        QCOMPARE(buttons(), QStringLiteral("playing"));
    }

    void theLastMomentsBeforeABeatCount_data()
    {
        // The step is asked for 30 ms ahead of its beat; 10 ms before it:
        QTest::addColumn<QString>("action");
        QTest::addColumn<Names>("heard");
        QTest::newRow("Ferma: the beat does not sound") << "Ferma" << Names{"V"};
        QTest::newRow("a new pattern: the beat plays it") << "XYZ" << Names{"V", "Y", "Z"};
        QTest::newRow("Cancella tutto: the beat plays nothing") << "Cancella" << Names{"V", "", ""};
    }

    void theLastMomentsBeforeABeatCount()
    {
        QFETCH(QString, action);
        QFETCH(Names, heard);
        play();
        pass(390);
        if (action == QLatin1String("Ferma"))
            stop();
        else if (action == QLatin1String("Cancella"))
            control<QPushButton>(m_form.get(), "CmdCance")->click();
        else
            setPattern(action);
        pass(220);
        QCOMPARE(played(), heard);
    }

    void stopSilencesTheLoopAndSwapsTheColours()
    {
        play();
        QCOMPARE(buttons(), QStringLiteral("playing"));
        beats(3);
        stop();
        QCOMPARE(buttons(), QStringLiteral("stopped"));
        beats(10);
        QCOMPARE(played(), (Names{"V", " ", "B"}));
        stop(); // stop while stopped: colours set again, nothing else
        QCOMPARE(buttons(), QStringLiteral("stopped"));
        play(); // and it starts again from the first position
        beats(2);
        QCOMPARE(played(), (Names{"V", " ", "B", "V", " "}));
    }

    void playingAgainWhilePlaying_data()
    {
        QTest::addColumn<int>("beatsBefore");
        QTest::addColumn<Names>("heard");
        QTest::addColumn<int>("loops");
        // Play is pressed again 100 ms after the beat of the last step heard.
        QTest::newRow("before the first beat: the loop starts over") << 0 << Names{"A", "B", "C", "D"} << 1;
        QTest::newRow("two steps in: a second loop sounds beside the first")
            << 2 << Names{"A", "B", "C", "A", "D", "B", "E", "C"} << 2;
        QTest::newRow("six steps in: the seventh step's next beat takes the second loop over")
            << 6 << Names{"A", "B", "C", "D", "E", "F", "G", "A", "B", "C"} << 1;
    }

    void playingAgainWhilePlaying()
    {
        QFETCH(int, beatsBefore);
        QFETCH(Names, heard);
        QFETCH(int, loops);
        setPattern(QStringLiteral("ABCDEFG"));
        play();
        beats(beatsBefore);
        pass(100);
        play();
        for (int turns = 0; played().size() < heard.size() && turns < 100; ++turns)
            pass(100);
        QCOMPARE(played(), heard);
        QCOMPARE(buttons(), QStringLiteral("playing"));
        beats(7);
        QCOMPARE(played().size(), heard.size() + 7 * loops);
        stop();
        const qsizetype heardBeforeStop = played().size();
        beats(10);
        QCOMPARE(played().size(), heardBeforeStop); // one stop silences both
    }

    void padsAndStepsShareTheOneVoice()
    {
        setPattern(QStringLiteral("VB"));
        play();
        beats(1); // V
        auto *text1 = control<QLineEdit>(m_form.get(), "Text1");
        text1->setFocus();
        QTest::keyClick(text1, 'k'); // a pad while the loop plays
        beats(1);                    // B
        QCOMPARE(played(), (Names{"V", "k.wav", "B"}));
    }

    void beatsMissedWhileTheWindowWasHeldUpPassInSilence()
    {
        // The window does not answer for 750 ms: the first two beats are more
        // than a step late and are not played in a burst; the third, 150 ms
        // late, still is; the loop goes on, on its grid.
        setPattern(QStringLiteral("ABCDEFG"));
        const std::int64_t start = m_sink.nowNs();
        play();
        pass(750, 750);
        beats(3);
        QCOMPARE(played(), (Names{"C", "D", "E", "F"}));
        for (std::size_t k = 0; k < m_sink.stamps.size(); ++k)
            QCOMPARE(m_sink.stamps[k] - start, std::int64_t(k + 3) * 200 * kMs);
    }

    void theSoundingStepsCellIsInvertedTheTextWhereItWas()
    {
        auto *field = control<PatternField>(m_form.get(), "Text1");
        setPattern(QStringLiteral("VBKHGFJ"));
        QCOMPARE(field->soundingStep(), 0);
        const QImage plain = field->grab().toImage();
        // Whether the field shows the plain field's pixels, those of step
        // `step`'s cell inverted (green on black becomes black on green).
        auto shows = [&](int step) {
            const QImage image = field->grab().toImage();
            const QRect cell = step ? field->markRect(step) : QRect();
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor was = plain.pixelColor(x, y), is = image.pixelColor(x, y);
                    const int green = cell.contains(x, y) ? 255 - was.green() : was.green();
                    if (std::abs(is.green() - green) > 1 || is.red() != was.red() || is.blue() != was.blue())
                        return false;
                }
            return true;
        };
        play();
        for (int beat = 1; beat <= 9; ++beat) {
            beats(1);
            const int step = (beat - 1) % 7 + 1;
            QTRY_COMPARE(field->soundingStep(), step);
            QVERIFY2(shows(step), qPrintable(QString("beat %1").arg(beat)));
        }
        QCOMPARE(field->text(), QStringLiteral("VBKHGFJ")); // the text as it was
        stop();
        QCOMPARE(field->soundingStep(), 0);
        QVERIFY(shows(0));
        QTest::qWait(250); // a mark asked for before the stop does not come back
        QCOMPARE(field->soundingStep(), 0);
    }

    void onTheRealClockTheFirstStepSoundsAnIntervalAfterTheStart()
    {
        // The step is asked for a little ahead of its beat (so that a busy
        // machine does not move it), stamped with the beat itself.
        m_sink.clockNs.reset();
        setPattern(QStringLiteral("AB"));
        const std::int64_t clicked = m_sink.nowNs();
        play();
        QCOMPARE(played(), Names{});
        QTRY_VERIFY_WITH_TIMEOUT(!m_sink.names.empty(), 10000);
        const std::int64_t asked = m_sink.nowNs();
        QVERIFY(m_sink.stamps[0] - clicked >= 200 * kMs);
        QVERIFY(m_sink.stamps[0] - asked <= StepClock::kLeadNs);
        // Ferma takes back the steps asked for ahead of now; once the tenth
        // is asked for, the ninth has sounded.
        QTRY_VERIFY_WITH_TIMEOUT(m_sink.names.size() >= 10, 30000);
        stop();
        QCOMPARE(played().mid(0, 9), (Names{"A", "B", "", "", "", "", "", "A", "B"}));
    }
};

QTEST_MAIN(TestLoop)
#include "tst_loop.moc"
