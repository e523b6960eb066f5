#include "app/ColourButton.h"
#include "app/Form1.h"
#include "app/LineControl.h"
#include "app/MultiLineTextBox.h"
#include "app/ShapeControl.h"
#include "support/FormControls.h"
#include "support/RecordingSink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QStyleFactory>
#include <QTimer>

#include <memory>

// The window as it is created: every control's place, kind, text, colours,
// font and state, then stacking, tab order and focus.
class TestForm1Layout : public QObject
{
    Q_OBJECT

    RecordingSink m_sink;
    std::unique_ptr<Form1> m_form;

    static QRect twips(int l, int t, int w, int h)
    {
        auto px = [](int v) { return (v + 7) / 15; };
        return QRect(px(l), px(t), px(w), px(h));
    }

    static QString textOf(QWidget *w)
    {
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            return b->text();
        if (auto *e = qobject_cast<QLineEdit *>(w))
            return e->text();
        if (auto *l = qobject_cast<QLabel *>(w))
            return l->text();
        if (auto *t = qobject_cast<MultiLineTextBox *>(w))
            return t->text();
        return {};
    }

private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }
    void init()
    {
        m_form = std::make_unique<Form1>(m_sink);
        QVERIFY(hasControls(m_form.get()));
    }
    void cleanup() { m_form.reset(); }

    void theWindow()
    {
        QCOMPARE(m_form->size(), QSize(792, 471));
        QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Tamvolo"));
        QVERIFY(m_form->windowFlags() & Qt::FramelessWindowHint);
        // Without a tray to bring it back from minimised, it keeps a taskbar button.
        QCOMPARE((m_form->windowFlags() & Qt::WindowType_Mask) == Qt::Tool, Form1::defaultTrayAvailable());
        QVERIFY((Form1(m_sink, Platform::system(), true).windowFlags() & Qt::WindowType_Mask) == Qt::Tool);
        QCOMPARE(m_form->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(!m_form->windowIcon().isNull());
        QVERIFY(m_form->windowIcon().availableSizes().contains(QSize(16, 16)));
        QVERIFY(m_form->windowIcon().availableSizes().contains(QSize(32, 32)));
    }

    void controlsAtCreation_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("back");
        QTest::addColumn<QColor>("fore");

        const QColor none;
        const QColor white(255, 255, 255), green(0, 255, 0), black(0, 0, 0), lightGrey(224, 224, 224);
        const QColor face = QApplication::palette().color(QPalette::Button);
        const QString form = QStringLiteral("Form1"), frame = QStringLiteral("Frame1");
        auto row = [&](const char *name, const QString &parent, QRect g, bool visible, const QString &text = {},
                       QColor back = QColor(), QColor fore = QColor()) {
            QTest::newRow(name) << QString::fromLatin1(name) << parent << g << visible << text << back << fore;
        };
        row("Image1", form, twips(0, 0, 7575, 5745), true);
        row("Shape1", form, twips(2880, 3000, 2295, 2415), false, {}, white, white);
        row("Image2", form, twips(4000, 2160, 1155, 315), false);
        row("Image3", form, twips(1920, 2280, 1485, 495), false);
        row("Image4", form, twips(420, 2430, 1350, 75), false);
        row("Image5", form, twips(315, 80, 2205, 1005), false);
        row("Frame1", form, twips(8280, 120, 3375, 6735), true, {}, white);
        row("Text3", form, twips(9120, 5280, 1695, 300), true, QStringLiteral("Text3"));
        row("Shape3", frame, twips(120, 240, 3135, 615), true, {}, none, QColor(128, 128, 128));
        row("Label2", frame, twips(1200, 360, 915, 405), true, QStringLiteral("Info!"), white, green);
        row("Shape2", frame, twips(120, 840, 3135, 1455), true, {}, none, QColor(128, 128, 128));
        row("CmdCance", frame, twips(360, 960, 2655, 300), true, QStringLiteral("Cancella tutto"), face);
        row("Text1", frame, twips(360, 1350, 2655, 630), true, QStringLiteral("V B VVF"), black, green);
        row("Command2", frame, twips(360, 1920, 1335, 300), true, QStringLiteral("Esegui"), lightGrey);
        row("cmdFerma", frame, twips(1680, 1920, 1335, 300), true, QStringLiteral("Ferma"), face);
        row("Text2", frame, twips(120, 2400, 3135, 1740), false,
            QStringLiteral("Digitare nella casella nera, massimo 7 caratteri ed usare \r\nuno spazio per finire o "
                           "separare \r\ni suoni.\t\t\t\r\n\t    \r\nTasti da utilizzare per la \r\nbatteria:\r\n"),
            white, QColor(128, 0, 0));
        row("Image6", frame, twips(240, 4200, 2760, 1275), false);
        row("Command6", frame, twips(240, 5760, 2775, 300), false, QStringLiteral("Apri il registratore di suoni"),
            face);
        row("Command7", frame, twips(240, 5760, 2775, 300), false, QStringLiteral("Apri il registratore di suoni (xp)"),
            face);
        row("cmdRiduci", frame, twips(240, 6120, 1575, 300), true, QStringLiteral("Riduci a icona"), face);
        row("cmdChiudi", frame, twips(2280, 6120, 735, 300), true, QStringLiteral("Chiudi"), face);
    }

    void controlsAtCreation()
    {
        QFETCH(QString, name);
        QFETCH(QString, parentName);
        QFETCH(QRect, geometry);
        QFETCH(bool, visible);
        QFETCH(QString, text);
        QFETCH(QColor, back);
        QFETCH(QColor, fore);

        QWidget *w = control(m_form.get(), qPrintable(name));
        QCOMPARE(w->parentWidget()->objectName(), parentName);
        QCOMPARE(w->geometry(), geometry);
        QCOMPARE(!w->isHidden(), visible);
        QVERIFY(w->isEnabled());
        QCOMPARE(textOf(w), text);
        if (auto *shape = qobject_cast<ShapeControl *>(w)) {
            if (back.isValid())
                QCOMPARE(shape->fill(), back);
            QCOMPARE(shape->border(), fore);
            return;
        }
        const bool isBox = qobject_cast<QLineEdit *>(w) || qobject_cast<MultiLineTextBox *>(w);
        const bool isButton = qobject_cast<QAbstractButton *>(w);
        if (auto *coloured = qobject_cast<ColourButton *>(w))
            QCOMPARE(coloured->backColour(), back);
        else if (back.isValid())
            QCOMPARE(w->palette().color(isBox ? QPalette::Base : isButton ? QPalette::Button : QPalette::Window), back);
        if (fore.isValid())
            QCOMPARE(w->palette().color(isBox ? QPalette::Text : QPalette::WindowText), fore);
    }

    void linesLieBetweenTheirPoints_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QLine>("line");
        QTest::addColumn<int>("width");
        QTest::newRow("Line1 along the snare") << "Line1" << QLine(416, 192, 360, 200) << 5;
        QTest::newRow("Line2 along the hi-hat") << "Line2" << QLine(400, 141, 488, 141) << 3;
    }

    void linesLieBetweenTheirPoints()
    {
        QFETCH(QString, name);
        QFETCH(QLine, line);
        QFETCH(int, width);
        auto *l = control<LineControl>(m_form.get(), qPrintable(name));
        QCOMPARE(l->line(), line);
        QCOMPARE(l->lineWidth(), width);
        QCOMPARE(l->color(), QColor(Qt::white));
        QVERIFY(l->isHidden());
        QVERIFY(l->geometry().contains(line.p1()) && l->geometry().contains(line.p2()));
    }

    void fontsAndField_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("underline");
        QTest::newRow("Info! in MS Serif 18 bold") << "Label2"
                                                   << "Liberation Serif" << 24 << true << false;
        QTest::newRow("pattern in Tahoma 24 bold underlined") << "Text1"
                                                              << "DejaVu Sans Condensed" << 32 << true << true;
        QTest::newRow("Esegui in MS Sans Serif 9.75") << "Command2"
                                                      << "Liberation Sans" << 13 << false << false;
        QTest::newRow("help in Arial 9.75 bold") << "Text2"
                                                 << "Liberation Sans" << 13 << true << false;
        QTest::newRow("Chiudi in Arial 8.25") << "cmdChiudi"
                                              << "Liberation Sans" << 11 << false << false;
        QTest::newRow("Text3 in MS Sans Serif 8.25") << "Text3"
                                                     << "Liberation Sans" << 11 << false << false;
    }

    void fontsAndField()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        QFETCH(bool, underline);
        const QFont f = control(m_form.get(), qPrintable(name))->font();
        QCOMPARE(f.families().value(0), family);
        QCOMPARE(f.pixelSize(), pixels);
        QCOMPARE(f.bold(), bold);
        QCOMPARE(f.underline(), underline);
    }

    void thePatternField()
    {
        auto *text1 = control<QLineEdit>(m_form.get(), "Text1");
        QCOMPARE(text1->maxLength(), 7);
        QCOMPARE(text1->toolTip(), QStringLiteral("Max 7 caratteri"));
        QCOMPARE(control(m_form.get(), "Image1")->toolTip(), QStringLiteral("Drag & Drop"));
        QCOMPARE(control(m_form.get(), "Text2")->focusPolicy(), Qt::NoFocus);
        QVERIFY(!control(m_form.get(), "Label2")->cursor().pixmap().isNull());
    }

    void timersAreCreatedStopped_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("interval");
        QTest::newRow("Timer1") << "Timer1" << 100;
    }

    void timersAreCreatedStopped()
    {
        QFETCH(QString, name);
        QFETCH(int, interval);
        auto *timer = m_form->findChild<QTimer *>(name);
        QVERIFY(timer);
        QCOMPARE(timer->interval(), interval);
        QVERIFY(!timer->isActive());
    }

    void stacking()
    {
        // Bottom to top among the window's pictures, shapes and lines, then
        // the panel's own controls above its label and shapes.
        const QObjectList &onForm = m_form->children();
        auto index = [&](const char *name) { return onForm.indexOf(control(m_form.get(), name)); };
        const char *order[] = {"Image1", "Shape1", "Line1",  "Line2", "Image2",
                               "Image3", "Image4", "Image5", "Text3", "Frame1"};
        for (std::size_t i = 1; i < std::size(order); ++i)
            QVERIFY2(index(order[i - 1]) < index(order[i]), order[i]);

        QWidget *frame = control(m_form.get(), "Frame1");
        const QObjectList &inFrame = frame->children();
        auto at = [&](const char *name) { return inFrame.indexOf(control(m_form.get(), name)); };
        QVERIFY(at("Label2") < at("Shape3"));
        for (const char *windowed :
             {"CmdCance", "Text1", "Command2", "cmdFerma", "Text2", "Command6", "Command7", "cmdRiduci", "cmdChiudi"})
            for (const char *light : {"Label2", "Shape3", "Shape2", "Image6"})
                QVERIFY(at(light) < at(windowed));
        // Shapes and lines let the mouse through; pad-light pictures do not.
        for (const char *name : {"Shape1", "Shape2", "Shape3", "Line1", "Line2"})
            QVERIFY(control(m_form.get(), name)->testAttribute(Qt::WA_TransparentForMouseEvents));
        for (const char *name : {"Image2", "Image3", "Image4", "Image5"})
            QVERIFY(!control(m_form.get(), name)->testAttribute(Qt::WA_TransparentForMouseEvents));
    }

    void shownPadLightsAreDrawnOverTheDrums_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("inside");
        QTest::newRow("Shape1 on the bass drum") << "Shape1" << QPoint(268, 280);
        QTest::newRow("Line1 on the snare") << "Line1" << QPoint(388, 196);
        QTest::newRow("Line2 on the hi-hat") << "Line2" << QPoint(444, 141);
        QTest::newRow("Image2 on the right rack tom") << "Image2" << QPoint(305, 162);
        QTest::newRow("Image3 on the left rack tom") << "Image3" << QPoint(177, 180);
        QTest::newRow("Image4 on the floor tom") << "Image4" << QPoint(73, 164);
        QTest::newRow("Image5 on the crash") << "Image5" << QPoint(94, 38);
    }

    void shownPadLightsAreDrawnOverTheDrums()
    {
        QFETCH(QString, name);
        QFETCH(QPoint, inside);
        auto isWhite = [](QRgb c) { return qRed(c) > 235 && qGreen(c) > 225 && qBlue(c) > 190; };
        const QImage dark = m_form->grab().toImage();
        QVERIFY2(!isWhite(dark.pixel(inside)), "the drum under the light is not white");
        control(m_form.get(), qPrintable(name))->show();
        const QImage lit = m_form->grab().toImage();
        QVERIFY2(isWhite(lit.pixel(inside)), qPrintable(QColor(lit.pixel(inside)).name()));
    }

    void screenshotWithEveryPadLight()
    {
        // A picture to look at: every drum lit at once.
        for (const char *name : {"Shape1", "Line1", "Line2", "Image2", "Image3", "Image4", "Image5"})
            control(m_form.get(), name)->show();
        const QString folder = qEnvironmentVariable("TAMVOLO_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("TAMVOLO_SCREENSHOTS names no folder");
        QDir().mkpath(folder);
        QVERIFY(m_form->grab().save(folder + QStringLiteral("/tamvolo-padlights.png")));
    }

    void tabOrderAndFocus()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QCOMPARE(QApplication::focusWidget(), control(m_form.get(), "Command2"));
        // Hidden buttons are skipped; the help text is never a stop.
        const char *expected[] = {"cmdFerma", "Text1", "CmdCance", "cmdChiudi", "cmdRiduci", "Text3", "Command2"};
        for (const char *name : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
        }
    }

    void centredOnTheScreen()
    {
        m_form->centreOnScreen();
        const QRect screen = m_form->screen()->geometry();
        QVERIFY(std::abs(m_form->geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(std::abs(m_form->geometry().center().y() - screen.center().y()) <= 1);
    }
};

QTEST_MAIN(TestForm1Layout)
#include "tst_form1_layout.moc"
