#include "app/ColourButton.h"
#include "app/Contrast.h"
#include "app/Form1.h"
#include "app/MidiLearnDialog.h"
#include "app/MultiLineTextBox.h"
#include "app/RecorderWindow.h"
#include "app/ShapeControl.h"
#include "support/WindowFixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTimer>

#include <memory>

// The window as it is created: every control's place, kind, text, colours,
// font and state, then stacking, tab order and focus.
class TestForm1Layout : public QObject, public WindowFixture
{
    Q_OBJECT

    // Where a control lies, in the window's pixels.
    QRect placeOf(const char *name) const
    {
        QWidget *w = control(m_form.get(), name);
        return QRect(w->mapTo(m_form.get(), QPoint(0, 0)), w->size());
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

    // A dark desktop theme's palette, as KDE's Breeze Dark gives it.
    static QPalette darkTheme()
    {
        QPalette p(QColor(0x31363b), QColor(0x232629));
        p.setColor(QPalette::WindowText, QColor(0xfcfcfc));
        p.setColor(QPalette::ButtonText, QColor(0xfcfcfc));
        p.setColor(QPalette::Text, QColor(0xfcfcfc));
        p.setColor(QPalette::Base, QColor(0x1b1e20));
        p.setColor(QPalette::Highlight, QColor(0x3daee9));
        return p;
    }

    // The contrast a person sees in a control's text, on its grabbed pixels:
    // its most frequent colour (the background) against the one that
    // stands out most from it (the text's core).
    static double seenContrast(QWidget *w)
    {
        QRect text = w->contentsRect();
        if (auto *b = qobject_cast<QPushButton *>(w)) {
            QStyleOptionButton option;
            option.initFrom(b);
            text = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b).adjusted(3, 3, -3, -3);
        }
        const QImage image = w->grab(text).toImage();
        std::map<QRgb, int> counts;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ++counts[image.pixel(x, y)];
        const auto background =
            std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;
        double best = 1;
        for (const auto &[colour, count] : counts)
            best = std::max(best, Contrast::ratio(QColor(background), QColor(colour)));
        return best;
    }

private slots:
    void init() { makeWindow(); }
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
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("back");
        QTest::addColumn<QColor>("fore");

        const QColor none;
        const QColor white(255, 255, 255), green(0, 255, 0), black(0, 0, 0), lightGrey(224, 224, 224);
        const QColor face = QApplication::palette().color(QPalette::Button);
        const QString form = QStringLiteral("Form1"), frame = QStringLiteral("Frame1");
        auto row = [&](const char *name, const QString &parent, bool visible, const QString &text = {},
                       QColor back = QColor(), QColor fore = QColor()) {
            QTest::newRow(name) << QString::fromLatin1(name) << parent << visible << text << back << fore;
        };
        row("Image1", form, true);
        row("Shape1", form, false, {}, white, white);
        row("Image2", form, false);
        row("Image3", form, false);
        row("Image4", form, false);
        row("Image5", form, false);
        row("Frame1", form, true, {}, white);
        row("Text3", form, true, QStringLiteral("Text3"));
        row("Shape3", frame, true, {}, none, QColor(128, 128, 128));
        row("Label2", frame, true, QStringLiteral("Info!"), white, green);
        row("Shape2", frame, true, {}, none, QColor(128, 128, 128));
        row("CmdCance", frame, true, QStringLiteral("Cancella tutto"), face);
        row("Text1", frame, true, QStringLiteral("V B VVF"), black, green);
        row("Command2", frame, true, QStringLiteral("Esegui"), lightGrey);
        row("cmdFerma", frame, true, QStringLiteral("Ferma"), face);
        row("Text2", frame, false,
            QStringLiteral("Digitare nella casella nera, massimo 7 caratteri ed usare \r\nuno spazio per finire o "
                           "separare \r\ni suoni.\t\t\t\r\n\t    \r\nTasti da utilizzare per la \r\nbatteria:\r\n"),
            white, QColor(128, 0, 0));
        row("Image6", frame, false);
        row("Command6", frame, false, QStringLiteral("Apri il registratore di suoni"), face);
        row("Command7", frame, false, QStringLiteral("Apri il registratore di suoni (xp)"), face);
        row("cmdRiduci", frame, true, QStringLiteral("Riduci a icona"), face);
        row("cmdChiudi", frame, true, QStringLiteral("Chiudi"), face);
    }

    void controlsAtCreation()
    {
        QFETCH(QString, name);
        QFETCH(QString, parentName);
        QFETCH(bool, visible);
        QFETCH(QString, text);
        QFETCH(QColor, back);
        QFETCH(QColor, fore);

        QWidget *w = control(m_form.get(), qPrintable(name));
        QCOMPARE(w->parentWidget()->objectName(), parentName);
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

    // Where each control lies as a person reads the window: beside, above or
    // inside its neighbour (neighbours' edges touch or overlap by a few
    // pixels, as they are drawn).
    void eachControlLiesByItsNeighbours_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("relation");
        QTest::addColumn<QString>("neighbour");
        auto row = [](const char *text, const char *name, const char *relation, const char *neighbour) {
            QTest::newRow(text) << QString::fromLatin1(name) << QString::fromLatin1(relation)
                                << QString::fromLatin1(neighbour);
        };
        row("the drums left of the side panel", "Image1", "left of", "Frame1");
        row("the side panel within the window", "Frame1", "inside", "Form1");
        row("Info! at the top of the panel, above the field", "Label2", "above", "Text1");
        row("Cancella tutto right above the field", "CmdCance", "above", "Text1");
        row("the field above Esegui", "Text1", "above", "Command2");
        row("Esegui left of Ferma", "Command2", "left of", "cmdFerma");
        row("Esegui and Ferma on one row", "Command2", "level with", "cmdFerma");
        row("the help below the buttons", "cmdFerma", "above", "Text2");
        row("the key list below the help", "Text2", "above", "Image6");
        row("the recorder's button below the key list", "Image6", "above", "Command6");
        row("the two recorder buttons in one place", "Command6", "level with", "Command7");
        row("Riduci below the recorder's button", "Command6", "above", "cmdRiduci");
        row("Riduci left of Chiudi, at the bottom", "cmdRiduci", "left of", "cmdChiudi");
        row("Riduci and Chiudi on one row", "cmdRiduci", "level with", "cmdChiudi");
        row("the field as wide as Cancella tutto", "Text1", "as wide as", "CmdCance");
        row("the hidden Text3 under the panel", "Text3", "inside", "Frame1");
        for (const char *light : {"Shape1", "Line1", "Line2", "Image2", "Image3", "Image4", "Image5"})
            row(qPrintable(QStringLiteral("%1 on the drums").arg(QLatin1String(light))), light, "inside", "Image1");
    }

    void eachControlLiesByItsNeighbours()
    {
        QFETCH(QString, name);
        QFETCH(QString, relation);
        QFETCH(QString, neighbour);
        const QRect a = name == "Form1" ? m_form->rect() : placeOf(qPrintable(name));
        const QRect b = neighbour == "Form1" ? m_form->rect() : placeOf(qPrintable(neighbour));
        QVERIFY(!a.isEmpty());
        const bool holds = relation == "left of" ? a.center().x() < b.left()
            : relation == "above"                ? a.center().y() < b.top()
            : relation == "level with"           ? a.top() == b.top() && a.height() == b.height()
            : relation == "as wide as"           ? a.left() == b.left() && a.width() == b.width()
            : relation == "inside"               ? b.contains(a)
                                                 : false;
        auto text = [](QRect r) {
            return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
        };
        QVERIFY2(holds, qPrintable(name + ' ' + relation + ' ' + neighbour + ": " + text(a) + " beside " + text(b)));
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

    void everyTextReadsUnderALightAndADarkTheme_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("playing");
        QTest::newRow("a light theme, stopped") << false << false;
        QTest::newRow("a light theme, the loop playing") << false << true;
        QTest::newRow("a dark theme, stopped") << true << false;
        QTest::newRow("a dark theme, the loop playing") << true << true;
    }

    void everyTextReadsUnderALightAndADarkTheme()
    {
        QFETCH(bool, dark);
        QFETCH(bool, playing);
        const QPalette before = QApplication::palette();
        QApplication::setPalette(dark ? darkTheme() : QApplication::style()->standardPalette());
        m_form = std::make_unique<Form1>(m_sink);
        m_form->Form_Load();
        m_form->show();
        m_form->Label2_MouseMove(0, 0, 0, 0); // the help shown
        if (playing)
            m_form->Command2_Click();
        RecorderWindow recorder(
            m_sink, [] { return std::string("/nonexistent"); }, {}, nullptr);
        recorder.show();
        QTest::keyClick(&recorder, Qt::Key_V); // its status and its seconds say what to do
        MidiLearnDialog pads({});
        pads.show();
        // "Info!" keeps the window's own green on white.
        QList<QWidget *> texts;
        for (const char *name :
             {"CmdCance", "Text1", "Command2", "cmdFerma", "Text2", "Command7", "cmdRiduci", "cmdChiudi"})
            texts << control(m_form.get(), name);
        for (QWidget *parent : {static_cast<QWidget *>(&recorder), static_cast<QWidget *>(&pads)})
            for (auto *w : parent->findChildren<QWidget *>())
                if ((qobject_cast<QLabel *>(w) && !qobject_cast<QLabel *>(w)->text().isEmpty()) ||
                    qobject_cast<QPushButton *>(w))
                    texts << w;
        for (QWidget *w : texts) {
            if (!w->isVisible() || !w->isEnabled())
                continue;
            const double seen = seenContrast(w);
            QVERIFY2(
                seen >= Contrast::kReadable,
                qPrintable(QStringLiteral("%1 \"%2\": %3:1").arg(w->objectName(), textOf(w)).arg(seen, 0, 'f', 2)));
        }
        if (playing)
            m_form->cmdFerma_Click();
        m_form.reset();
        QApplication::setPalette(before);
    }

    void aScreenReaderHearsEachControl_data()
    {
        QTest::addColumn<QString>("name");      // the control's object name
        QTest::addColumn<int>("role");          // QAccessible::Role
        QTest::addColumn<QString>("heard");     // its accessible name
        QTest::addColumn<QString>("described"); // what its description begins with
        const int button = QAccessible::PushButton;
        QTest::newRow("the pattern field") << "Text1" << int(QAccessible::EditableText) << "Pattern"
                                           << "Max 7";
        QTest::newRow("the drums") << "Image1" << int(QAccessible::Client) << "Batteria"
                                   << "Si illumina";
        QTest::newRow("the bass drum's light") << "Shape1" << int(QAccessible::Client) << "cassa"
                                               << "";
        QTest::newRow("the crash's light") << "Image5" << int(QAccessible::Client) << "piatto"
                                           << "";
        QTest::newRow("Esegui, stopped") << "Command2" << button << "Esegui"
                                         << "Il loop è fermo";
        QTest::newRow("Ferma, stopped") << "cmdFerma" << button << "Ferma"
                                        << "Il loop è fermo";
        QTest::newRow("Cancella tutto") << "CmdCance" << button << "Cancella tutto"
                                        << "";
        QTest::newRow("Info!") << "Label2" << int(QAccessible::StaticText) << "Info!"
                               << "F1";
        QTest::newRow("the recorder's button") << "Command7" << button << "Apri il registratore di suoni (xp)"
                                               << "";
        QTest::newRow("Riduci a icona") << "cmdRiduci" << button << "Riduci a icona"
                                        << "";
        QTest::newRow("Chiudi") << "cmdChiudi" << button << "Chiudi"
                                << "";
    }

    // Walked as a screen reader walks it: from the window's accessible
    // interface down, every control by role, name and description.
    void aScreenReaderHearsEachControl()
    {
        QFETCH(QString, name);
        QFETCH(int, role);
        QFETCH(QString, heard);
        QFETCH(QString, described);
        m_form->Form_Load();
        for (const char *light : {"Shape1", "Image5"})
            control(m_form.get(), light)->show();
        m_form->show();
        std::function<QAccessibleInterface *(QAccessibleInterface *)> find = [&](QAccessibleInterface *at) {
            if (at->object() && at->object()->objectName() == name)
                return at;
            for (int i = 0; i < at->childCount(); ++i)
                if (QAccessibleInterface *found = find(at->child(i)))
                    return found;
            return static_cast<QAccessibleInterface *>(nullptr);
        };
        QAccessibleInterface *found = find(QAccessible::queryAccessibleInterface(m_form.get()));
        QVERIFY2(found, "not in the window's accessible tree");
        QCOMPARE(int(found->role()), role);
        QCOMPARE(found->text(QAccessible::Name), heard);
        const QString description = found->text(QAccessible::Description);
        QVERIFY2(description.left(described.size()) == described, qPrintable(description));
        QVERIFY(!found->state().invisible);
    }

    void theKeyboardReachesTheHelpTheMenuAndThePlayingState()
    {
        m_form->Form_Load();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        auto *help = control(m_form.get(), "Text2");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QVERIFY(help->isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QVERIFY(!help->isVisible());

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // Esegui, which has the focus
        auto *play = QAccessible::queryAccessibleInterface(control(m_form.get(), "Command2"));
        QCOMPARE(play->text(QAccessible::Description), QStringLiteral("Il loop suona"));
        m_form->cmdFerma_Click();
        QCOMPARE(play->text(QAccessible::Description), QStringLiteral("Il loop è fermo"));

        auto *field = control(m_form.get(), "Text1");
        field->setFocus();
        QTest::keyClick(field, Qt::Key_F10, Qt::ShiftModifier);
        auto *menu = field->findChild<QMenu *>(QStringLiteral("patternMenu"));
        QVERIFY(menu && menu->isVisible());
        menu->close();
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
