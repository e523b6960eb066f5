#include "app/Form1.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <memory>

using Files = QStringList;

// Typing into the pattern field: what it stores, what it plays, which pad
// light it shows, and what it leaves to the field.
class TestPatternEntry : public QObject, public WindowFixture
{
    Q_OBJECT

    QLineEdit *m_text1 = nullptr;

    Files played() const { return m_sink.names; }

    QStringList shownLights() const
    {
        QStringList shown;
        for (const char *name : {"Shape1", "Line1", "Line2", "Image2", "Image3", "Image4", "Image5"})
            if (!control(m_form.get(), name)->isHidden())
                shown << QString::fromLatin1(name);
        return shown;
    }

    QTimer *timer1() const { return m_form->findChild<QTimer *>(QStringLiteral("Timer1")); }
    QPushButton *command2() const { return control<QPushButton>(m_form.get(), "Command2"); }

    void typeText(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(m_text1, c.toLatin1() ? c.toLatin1() : char(0), Qt::NoModifier);
    }

    // A key whose character is not plain ASCII, as the keyboard sends it.
    void typeCharacter(const QString &ch)
    {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, ch);
        QApplication::sendEvent(m_text1, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, ch);
        QApplication::sendEvent(m_text1, &release);
    }

private slots:
    void init()
    {
        makeWindow();
        m_text1 = control<QLineEdit>(m_form.get(), "Text1");
        m_form->show();
        m_text1->setFocus();
        m_text1->clear();
    }

    void cleanup() { m_form.reset(); }

    void atStartUp()
    {
        Form1 fresh(m_sink);
        QCOMPARE(control<QLineEdit>(&fresh, "Text1")->text(), QStringLiteral("V B VVF"));
        QCOMPARE(fresh.findChild<QTimer *>(QStringLiteral("Timer1"))->isActive(), false);
        for (const char *name : {"Shape1", "Line1", "Line2", "Image2", "Image3", "Image4", "Image5"})
            QVERIFY(control(&fresh, name)->isHidden());
        QCOMPARE(m_sink.names.size(), 0);
    }

    void typingStoresCapitalsAndPlays_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<Files>("files");
        QTest::addColumn<QStringList>("lights");
        QTest::newRow("a stores A and plays a.wav") << "a"
                                                    << "A" << Files{"a.wav"} << QStringList();
        QTest::newRow("c stores C and plays k.wav") << "c"
                                                    << "C" << Files{"k.wav"} << QStringList();
        QTest::newRow("w stores W and plays u.wav") << "w"
                                                    << "W" << Files{"u.wav"} << QStringList();
        QTest::newRow("è stores È and plays è.wav") << "è"
                                                    << "È" << Files{"è.wav"} << QStringList();
        QTest::newRow("é stores É and plays è.wav") << "é"
                                                    << "É" << Files{"è.wav"} << QStringList();
        QTest::newRow("ÿ stores Ÿ and plays nothing") << "ÿ"
                                                      << "Ÿ" << Files{} << QStringList();
        QTest::newRow("v stores V, plays v.wav, lights the bass drum")
            << "v"
            << "V" << Files{"v.wav"} << QStringList{"Shape1"};
        QTest::newRow("b lights the snare") << "b"
                                            << "B" << Files{"b.wav"} << QStringList{"Line1"};
        QTest::newRow("j lights the hi-hat") << "j"
                                             << "J" << Files{"J.wav"} << QStringList{"Line2"};
        QTest::newRow("h lights the right rack tom") << "h"
                                                     << "H" << Files{"h.wav"} << QStringList{"Image2"};
        QTest::newRow("g lights the left rack tom") << "g"
                                                    << "G" << Files{"g.wav"} << QStringList{"Image3"};
        QTest::newRow("f lights the floor tom") << "f"
                                                << "F" << Files{"f.wav"} << QStringList{"Image4"};
        QTest::newRow("k lights the crash") << "k"
                                            << "K" << Files{"k.wav"} << QStringList{"Image5"};
        QTest::newRow("the hyphen plays Laser.wav, then trat.wav")
            << "-"
            << "-" << Files{"Laser.wav", "trat.wav"} << QStringList();
        QTest::newRow("a semicolon is stored and silent") << ";"
                                                          << ";" << Files{} << QStringList();
        QTest::newRow("a space plays sla.wav") << " "
                                               << " " << Files{"sla.wav"} << QStringList();
        QTest::newRow("a digit plays nu.wav") << "7"
                                              << "7" << Files{"nu.wav"} << QStringList();
        QTest::newRow("£ plays nu.wav") << "£"
                                        << "£" << Files{"nu.wav"} << QStringList();
        QTest::newRow("a Greek letter is outside the set: ? and silent") << "α"
                                                                         << "?" << Files{} << QStringList();
    }

    void typingStoresCapitalsAndPlays()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(Files, files);
        QFETCH(QStringList, lights);
        command2()->setEnabled(false);
        typeCharacter(typed);
        QCOMPARE(m_text1->text(), stored);
        QCOMPARE(played(), files);
        QCOMPARE(shownLights(), lights);
        QVERIFY(command2()->isEnabled());
        QVERIFY(timer1()->isActive());
    }

    void lightsGoOutAtTheNextTick()
    {
        typeText("vbjhgfk");
        QTRY_COMPARE(shownLights(), QStringList());
        QVERIFY(timer1()->isActive()); // and it never stops
        QCOMPARE(played().size(), 7);
    }

    void keepTypingDoesNotHoldTheLightsOn()
    {
        // The light timer is started by the first key and not restarted by
        // the next ones, so lights still go out while keys keep coming.
        bool wentOut = false;
        QElapsedTimer typing;
        typing.start();
        while (typing.elapsed() < 600 && !wentOut) {
            typeText("v");
            QTest::qWait(30);
            wentOut = shownLights().isEmpty();
        }
        QVERIFY(wentOut);
    }

    void theTickHidesEveryLight()
    {
        for (const char *name : {"Shape1", "Line1", "Line2", "Image2", "Image3", "Image4", "Image5"})
            control(m_form.get(), name)->show();
        m_form->Timer1_Timer();
        QCOMPARE(shownLights(), QStringList());
    }

    void aFullFieldStillSoundsAndLights()
    {
        typeText("acdemno");
        m_sink.clear();
        command2()->setEnabled(false);
        typeText("k");
        QCOMPARE(m_text1->text(), QStringLiteral("ACDEMNO"));
        QCOMPARE(played(), Files{"k.wav"});
        QCOMPARE(shownLights(), QStringList{"Image5"});
        QVERIFY(command2()->isEnabled());
    }

    void controlKeysRunTheHandlerSilently_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("after");
        QTest::newRow("Backspace deletes before the caret") << int(Qt::Key_Backspace) << 0 << "AB";
        QTest::newRow("Enter changes nothing") << int(Qt::Key_Return) << 0 << "ABC";
        QTest::newRow("Escape changes nothing") << int(Qt::Key_Escape) << 0 << "ABC";
        QTest::newRow("Ctrl+A selects all") << int(Qt::Key_A) << int(Qt::ControlModifier) << "ABC";
    }

    void controlKeysRunTheHandlerSilently()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, after);
        typeText("abc");
        m_form.reset(new Form1(m_sink)); // a fresh window, its timer off
        m_text1 = control<QLineEdit>(m_form.get(), "Text1");
        m_text1->setText(QStringLiteral("ABC"));
        m_sink.clear();
        command2()->setEnabled(false);
        QTest::keyClick(m_text1, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(m_text1->text(), after);
        QCOMPARE(played(), Files{});
        QVERIFY(command2()->isEnabled());
        QVERIFY(timer1()->isActive());
    }

    void deletingEverythingLeavesPlayEnabled()
    {
        m_text1->setText(QStringLiteral("AB"));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(m_text1, Qt::Key_Backspace);
        QCOMPARE(m_text1->text(), QString());
        QVERIFY(command2()->isEnabled());
    }

    void keysThatTypeNothingDoNotRunTheHandler_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("after");
        QTest::newRow("Delete removes the character after the caret") << int(Qt::Key_Delete) << "BC";
        QTest::newRow("Left arrow") << int(Qt::Key_Left) << "ABC";
        QTest::newRow("Right arrow") << int(Qt::Key_Right) << "ABC";
        QTest::newRow("Home") << int(Qt::Key_Home) << "ABC";
    }

    void keysThatTypeNothingDoNotRunTheHandler()
    {
        QFETCH(int, key);
        QFETCH(QString, after);
        m_form.reset(new Form1(m_sink));
        m_text1 = control<QLineEdit>(m_form.get(), "Text1");
        m_text1->setText(QStringLiteral("ABC"));
        m_text1->setCursorPosition(0);
        command2()->setEnabled(false);
        QTest::keyClick(m_text1, Qt::Key(key));
        QCOMPARE(m_text1->text(), after);
        QCOMPARE(played(), Files{});
        QVERIFY(!command2()->isEnabled());
        QVERIFY(!timer1()->isActive());
    }

    void pasteIsNeitherUpperCasedNorPlayed()
    {
        QApplication::clipboard()->setText(QStringLiteral("xy-zzzzzz"));
        m_text1->setText(QStringLiteral("AB"));
        m_text1->end(false);
        QTest::keyClick(m_text1, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_text1->text(), QStringLiteral("ABxy-zz"));
        QCOMPARE(played(), Files{});
        QVERIFY(timer1()->isActive()); // Ctrl+V is a key like the others
        QTest::keyClick(m_text1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_text1->text(), QStringLiteral("AB"));
    }

    void aComposedCharacterBehavesLikeItsKey()
    {
        // A dead key or compose sequence reaches the field as an input-method
        // commit, not as a key.
        QInputMethodEvent preedit(QStringLiteral("`"), {});
        QApplication::sendEvent(m_text1, &preedit);
        QCOMPARE(played(), Files{});
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("è"));
        QApplication::sendEvent(m_text1, &commit);
        QCOMPARE(m_text1->text(), QStringLiteral("È"));
        QCOMPARE(played(), Files{"è.wav"});
        QVERIFY(timer1()->isActive());
    }

    void aCommittedWordPlaysEachCharacter()
    {
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("vò"));
        QApplication::sendEvent(m_text1, &commit);
        QCOMPARE(m_text1->text(), QStringLiteral("VÒ"));
        QCOMPARE(played(), (Files{"v.wav", "ò.wav"}));
        QCOMPARE(shownLights(), QStringList{"Shape1"});
    }
};

QTEST_MAIN(TestPatternEntry)
#include "tst_pattern_entry.moc"
