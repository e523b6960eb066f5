#include "app/Form1.h"
#include "app/TrayRestorer.h"
#include "app/Twips.h"
#include "app/WindowRegion.h"
#include "support/Microphone.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

// The window as a window: start-up, outline, dragging, minimise, the help
// panel and the sound-recorder button.
class TestWindowShell : public QObject, public WindowFixture
{
    Q_OBJECT

    QWidget *image1() const { return control(m_form.get(), "Image1"); }

    // A mouse event on the drum picture at `local` pixels.
    void mouse(QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent e(type, QPointF(local), image1()->mapToGlobal(QPointF(local)), button, held, Qt::NoModifier);
        QApplication::sendEvent(image1(), &e);
    }

    // What the help panel shows: "shown", "hidden", or "out of step" when
    // the help text and the key list disagree.
    QString help() const
    {
        const bool text = !control(m_form.get(), "Text2")->isHidden();
        const bool keys = !control(m_form.get(), "Image6")->isHidden();
        if (text != keys)
            return QStringLiteral("out of step");
        return text ? QStringLiteral("shown") : QStringLiteral("hidden");
    }

    // Moves the pointer to the centre of a control, as the user would.
    void hover(const char *name, QPoint offset = {})
    {
        QWidget *w = control(m_form.get(), name);
        QTest::mouseMove(m_form.get(), w->mapTo(m_form.get(), w->rect().center() + offset));
        QApplication::processEvents();
    }

private slots:
    void init() { makeWindow(); }

    void cleanup() { m_form.reset(); }

    void roundingIsHalfToEven_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("the window's width") << 11880.0 << 792;
        QTest::newRow("the window's height") << 7065.0 << 471;
        QTest::newRow("470.5 goes down to even") << 7057.5 << 470;
        QTest::newRow("471.5 goes up to even") << 7072.5 << 472;
        QTest::newRow("just above half goes up") << 7058.0 << 471;
    }

    void roundingIsHalfToEven()
    {
        QFETCH(double, twips);
        QFETCH(int, pixels);
        QCOMPARE(Twips::toPixels(twips), pixels);
    }

    void roundedGivesTheWindowItsOutline()
    {
        m_form->Rounded();
        const QRegion mask = m_form->mask();
        QCOMPARE(mask.boundingRect(), QRect(0, 0, 792, 471));
        QCOMPARE(mask, WindowRegion::createRoundRectRgn(0, 0, 792, 471, 60, 60));
        for (QPoint outside :
             {QPoint(0, 0), QPoint(5, 5), QPoint(791, 0), QPoint(786, 5), QPoint(0, 470), QPoint(791, 470)})
            QVERIFY2(!mask.contains(outside), qPrintable(QString("%1,%2").arg(outside.x()).arg(outside.y())));
        for (QPoint inside : {QPoint(30, 0), QPoint(396, 0), QPoint(0, 235), QPoint(10, 10), QPoint(396, 235),
                              QPoint(791, 235), QPoint(761, 470)})
            QVERIFY2(mask.contains(inside), qPrintable(QString("%1,%2").arg(inside.x()).arg(inside.y())));
    }

    void formLoadDisablesPlayOnAnEmptyPattern_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("the start-up pattern") << "V B VVF" << true;
        QTest::newRow("an empty pattern") << "" << false;
        QTest::newRow("a space is not empty") << " " << true;
    }

    void formLoadDisablesPlayOnAnEmptyPattern()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, enabled);
        control<QLineEdit>(m_form.get(), "Text1")->setText(pattern);
        m_form->Form_Load();
        QCOMPARE(control(m_form.get(), "Command2")->isEnabled(), enabled);
        QVERIFY(!m_form->mask().isEmpty());
        // Nothing sounds and no timer runs at start-up.
        for (QTimer *t : m_form->findChildren<QTimer *>())
            QVERIFY(!t->isActive());
    }

    void theRecorderButtonSuitsThePlatform_data()
    {
        QTest::addColumn<int>("platform");
        QTest::addColumn<bool>("queryWorks");
        QTest::addColumn<QString>("text3");
        QTest::addColumn<bool>("older");
        QTest::addColumn<bool>("newer");
        QTest::newRow("0: Win32s, the older button") << 0 << true << "0" << true << false;
        QTest::newRow("1: Windows 9x, the older button") << 1 << true << "1" << true << false;
        QTest::newRow("2: NT family, the newer button") << 2 << true << "2" << false << true;
        QTest::newRow("3: like 2") << 3 << true << "3" << false << true;
        QTest::newRow("negative: neither") << -1 << true << "-1" << false << false;
        QTest::newRow("a failed query counts as 0") << 2 << false << "0" << true << false;
    }

    void theRecorderButtonSuitsThePlatform()
    {
        QFETCH(int, platform);
        QFETCH(bool, queryWorks);
        QFETCH(QString, text3);
        QFETCH(bool, older);
        QFETCH(bool, newer);
        m_platformId = platform;
        m_queryWorks = queryWorks;
        m_form->Form_Load();
        QCOMPARE(control<QLineEdit>(m_form.get(), "Text3")->text(), text3);
        QCOMPARE(!control(m_form.get(), "Command6")->isHidden(), older);
        QCOMPARE(!control(m_form.get(), "Command7")->isHidden(), newer);
    }

    void onLinuxTheNewerButtonShows()
    {
        Form1 real(m_sink);
        real.Form_Load();
        QVERIFY(!control(&real, "Command7")->isHidden());
        QVERIFY(control(&real, "Command6")->isHidden());
    }

    void eachClickStartsTheRecorderOnce_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("path");
        QTest::newRow("older") << "Command6"
                               << "C:\\WINDOWS\\SNDREC32.EXE";
        QTest::newRow("newer") << "Command7"
                               << "C:\\WINDOWS\\System32\\sndrec32.exe";
    }

    void eachClickStartsTheRecorderOnce()
    {
        QFETCH(QString, button);
        QFETCH(QString, path);
        auto *b = control<QPushButton>(m_form.get(), qPrintable(button));
        b->show();
        b->click();
        b->click();
        QCOMPARE(m_started.size(), std::size_t(2));
        QCOMPARE(m_started[0], std::make_pair(path, 1));
        QCOMPARE(m_started[1], std::make_pair(path, 1));
        QVERIFY(!m_form->findChild<QMessageBox *>());
    }

    void aRecorderThatCannotStartOpensOursAndTheLoopGoesOn_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("older") << "Command6";
        QTest::newRow("newer") << "Command7";
    }

    void aRecorderThatCannotStartOpensOursAndTheLoopGoesOn()
    {
        QFETCH(QString, button);
        m_startSucceeds = false;
        m_form->Command2_Click();
        auto *b = control<QPushButton>(m_form.get(), qPrintable(button));
        b->show();
        b->click();
        b->click();                                 // a second click brings the same window forward
        QCOMPARE(m_started.size(), std::size_t(2)); // the system's was tried first
        const auto recorders = m_form->findChildren<QWidget *>(QStringLiteral("recorder"));
        QCOMPARE(recorders.size(), 1);
        QVERIFY(recorders.front()->isVisible());
        QCOMPARE(recorders.front()->windowTitle(), QStringLiteral("Registratore di suoni – Tamvolo"));
        QVERIFY(!m_form->findChild<QMessageBox *>());
        QTRY_VERIFY_WITH_TIMEOUT(m_sink.names.size() >= 2, 10000); // the loop plays on
    }

    void escapeClosesTheRecorderAndGivesTheKeysBack()
    {
        m_startSucceeds = false;
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        auto *open = control<QPushButton>(m_form.get(), "Command7");
        open->show();
        open->click();
        auto *recorder = m_form->findChild<QWidget *>(QStringLiteral("recorder"));
        QVERIFY(recorder && recorder->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(recorder));
        auto *status = recorder->findChild<QLabel *>(QStringLiteral("statusLabel"));
        QTest::keyClick(recorder, Qt::Key_At); // a key with no sample: said
        QVERIFY(!status->text().isEmpty());
        QTest::keyClick(recorder, Qt::Key_Escape);
        QVERIFY(!recorder->isVisible());
        QTRY_VERIFY(control<QLineEdit>(m_form.get(), "Text1")->hasFocus()); // typing reaches the field again
        open->click();
        QVERIFY(status->text().isEmpty()); // said afresh
    }

    void aLeftDragMovesTheWindowByThePointersDisplacement()
    {
        m_form->move(100, 100);
        const QPoint start(100, 100);
        mouse(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(image1()->cursor().shape(), Qt::SizeAllCursor);
        // 300 twips right and 150 down.
        mouse(QEvent::MouseMove, start + QPoint(20, 10), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(m_form->pos(), QPoint(120, 110));
        // The picture moved with the window: the grabbed point is back under
        // the pointer, and a further move goes on from there.
        mouse(QEvent::MouseMove, start + QPoint(-5, 0), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(m_form->pos(), QPoint(115, 110));
        mouse(QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!image1()->testAttribute(Qt::WA_SetCursor));
        mouse(QEvent::MouseMove, start + QPoint(50, 50), Qt::NoButton, Qt::NoButton);
        QCOMPARE(m_form->pos(), QPoint(115, 110));
    }

    void otherButtonsShowThePointerButDoNotDrag_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("right") << int(Qt::RightButton);
        QTest::newRow("middle") << int(Qt::MiddleButton);
    }

    void otherButtonsShowThePointerButDoNotDrag()
    {
        QFETCH(int, button);
        const auto b = Qt::MouseButton(button);
        m_form->move(100, 100);
        mouse(QEvent::MouseButtonPress, QPoint(100, 100), b, b);
        QCOMPARE(image1()->cursor().shape(), Qt::SizeAllCursor);
        mouse(QEvent::MouseMove, QPoint(150, 150), Qt::NoButton, b);
        QCOMPARE(m_form->pos(), QPoint(100, 100));
        mouse(QEvent::MouseButtonRelease, QPoint(150, 150), b, Qt::NoButton);
        QVERIFY(!image1()->testAttribute(Qt::WA_SetCursor));
    }

    void aRightClickDuringALeftDragOnlyRestoresThePointer()
    {
        m_form->move(100, 100);
        mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
        mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::RightButton, Qt::LeftButton);
        QVERIFY(!image1()->testAttribute(Qt::WA_SetCursor));
        mouse(QEvent::MouseMove, QPoint(110, 100), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(m_form->pos(), QPoint(110, 100)); // still dragging
        mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::LeftButton, Qt::NoButton);
        mouse(QEvent::MouseMove, QPoint(150, 100), Qt::NoButton, Qt::NoButton);
        QCOMPARE(m_form->pos(), QPoint(110, 100));
    }

    void movingAcrossThePictureWithoutAPressMovesNothing()
    {
        m_form->move(100, 100);
        mouse(QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoButton);
        mouse(QEvent::MouseMove, QPoint(200, 200), Qt::NoButton, Qt::NoButton);
        QCOMPARE(m_form->pos(), QPoint(100, 100));
    }

    void theHelpPanelFollowsThePointer()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QCOMPARE(help(), QStringLiteral("hidden"));
        hover("Label2");
        QCOMPARE(help(), QStringLiteral("shown"));
        // Over a button, the shown help, the key list or the drum picture: no change.
        for (const char *name : {"cmdFerma", "CmdCance", "Text2", "Image6", "Image1", "cmdChiudi"}) {
            hover(name);
            QVERIFY2(help() == QStringLiteral("shown"), name);
        }
        hover("Frame1", QPoint(98, 76)); // the bare panel, right of the key list
        QCOMPARE(help(), QStringLiteral("hidden"));
        hover("Label2");
        QCOMPARE(help(), QStringLiteral("shown"));
        hover("Shape3", QPoint(-70, 0)); // the outline round the label is bare panel too
        QCOMPARE(help(), QStringLiteral("hidden"));
        hover("Label2");
        hover("Text1");
        QCOMPARE(help(), QStringLiteral("hidden"));
    }

    void minimiseWithoutATrayKeepsTheTaskbarButton()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QVERIFY((m_form->windowFlags() & Qt::WindowType_Mask) != Qt::Tool);
        QVERIFY(!m_form->findChild<QSystemTrayIcon *>());
        control<QPushButton>(m_form.get(), "cmdRiduci")->click();
        QVERIFY(m_form->isMinimized());
    }

    void minimiseWithATrayShowsTheIconThatRestores()
    {
        m_form = std::make_unique<Form1>(m_sink, fakePlatform(), true);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        auto *tray = m_form->findChild<QSystemTrayIcon *>(QStringLiteral("trayIcon"));
        QVERIFY(tray);
        QCOMPARE(tray->toolTip(), QStringLiteral("Tamvolo"));
        QVERIFY(!tray->icon().isNull());
        QVERIFY(!tray->isVisible());
        m_form->cmdRiduci_Click();
        QVERIFY(m_form->isMinimized());
        QVERIFY(tray->isVisible());
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!m_form->isMinimized());
        QVERIFY(!tray->isVisible());
    }

    // Last: an ended program tells Qt's event loops to end.
    void closingAsksOnlyWhenTheRecorderHoldsAnUnsavedTake_data()
    {
        QTest::addColumn<QString>("take");  // none, unsaved, saved
        QTest::addColumn<int>("choice");    // Salva, Scarta, Annulla
        QTest::addColumn<bool>("byChiudi"); // else the window manager (Alt+F4)
        QTest::addColumn<bool>("recorderClosed");
        QTest::addColumn<bool>("ends");
        QTest::newRow("no take: Chiudi ends at once") << "none" << 2 << true << false << true;
        QTest::newRow("an unsaved take, Annulla: Alt+F4 keeps the window") << "unsaved" << 2 << false << false << false;
        QTest::newRow("an unsaved take in a closed recorder, Annulla: Chiudi keeps the window, the recorder shown")
            << "unsaved" << 2 << true << true << false;
        QTest::newRow("an unsaved take, Scarta: Chiudi ends") << "unsaved" << 1 << true << false << true;
        QTest::newRow("an unsaved take, Salva: saved, and Chiudi ends") << "unsaved" << 0 << true << false << true;
        QTest::newRow("a saved take: Chiudi ends at once") << "saved" << 2 << true << false << true;
    }

    void closingAsksOnlyWhenTheRecorderHoldsAnUnsavedTake()
    {
        QFETCH(QString, take);
        QFETCH(int, choice);
        QFETCH(bool, byChiudi);
        QFETCH(bool, recorderClosed);
        QFETCH(bool, ends);
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        m_startSucceeds = false;
        m_form->show();
        QWidget *recorder = nullptr;
        if (take != QLatin1String("none")) {
            QVERIFY(microphoneHears(data.filePath(QStringLiteral("microphone.raw")), std::vector<float>(9600, 0.5f)));
            control<QPushButton>(m_form.get(), "Command7")->click();
            recorder = m_form->findChild<QWidget *>(QStringLiteral("recorder"));
            QVERIFY(recorder);
            QTest::keyClick(recorder, Qt::Key_V);
            control<QPushButton>(recorder, "record")->click();
            QTest::qWait(500);
            control<QPushButton>(recorder, "stop")->click();
            auto *save = control<QPushButton>(recorder, "save");
            QVERIFY(save->isEnabled());
            if (take == QLatin1String("saved"))
                save->click();
            if (recorderClosed)
                recorder->close();
        }
        m_choice = choice;
        if (byChiudi)
            control<QPushButton>(m_form.get(), "cmdChiudi")->click();
        else
            m_form->close();
        QCOMPARE(m_form->isVisible(), !ends);
        const QStringList asked{"La tua registrazione del tasto «V» non è stata salvata. Salva/Scarta/Annulla"};
        QCOMPARE(m_questions, take == QLatin1String("unsaved") ? asked : QStringList{});
        if (!ends)
            QVERIFY(recorder && recorder->isVisible()); // the take in view, to save or to drop
        QCOMPARE(QFile::exists(data.filePath(QStringLiteral("tamvolo/voc/v.wav"))),
                 take == QLatin1String("saved") || choice == 0);
        qunsetenv("XDG_DATA_HOME");
        qputenv("SDL_AUDIODRIVER", "dummy");
    }
};

QTEST_MAIN(TestWindowShell)
#include "tst_window_shell.moc"
