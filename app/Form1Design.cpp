// The window's designer half: its controls, where they lie, their fonts and
// colours, its timers, and which handler each event runs. The handlers are
// in Form1.cpp.
#include "app/Form1.h"

#include "app/ColourButton.h"
#include "app/FontSubstitutes.h"
#include "app/LineControl.h"
#include "app/MultiLineTextBox.h"
#include "app/PatternField.h"
#include "app/PatternFileActions.h"
#include "app/PictureBox.h"
#include "app/ShapeControl.h"
#include "app/Spoken.h"
#include "app/TrayRestorer.h"
#include "app/Twips.h"
#include "app/VbColor.h"
#include "app/WindowRegion.h"
#include "keys/DrumKeys.h"
#include "keys/PatternLength.h"
#include "sequencer/LoopController.h"
#include "services/PatternFile.h"
#include "sound/SampleFolders.h"

#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <QTimer>

using FontSubstitutes::Face;

namespace {

const QString kHelpText =
    QStringLiteral("Digitare nella casella nera, massimo 7 caratteri ed usare \r\nuno spazio per finire o separare \r\n"
                   "i suoni.\t\t\t\r\n\t    \r\nTasti da utilizzare per la \r\nbatteria:\r\n");

template <typename Control>
Control *place(Control *control, const char *name, const QRect &geometry, bool visible = true)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    control->setVisible(visible);
    return control;
}

void setColors(QWidget *w, QPalette::ColorRole background, quint32 back, QPalette::ColorRole foreground, quint32 fore)
{
    QPalette p = w->palette();
    p.setColor(background, VbColor::toColor(back));
    p.setColor(foreground, VbColor::toColor(fore));
    w->setPalette(p);
}

template <typename Button = QPushButton>
Button *button(QWidget *parent, const char *name, const QString &caption, const QRect &geometry, const QFont &font,
               bool visible = true)
{
    auto *b = place(new Button(caption, parent), name, geometry, visible);
    b->setFont(font);
    b->setAutoDefault(false);
    return b;
}

QPixmap renderSvg(const QString &path, QSize size, qreal ratio)
{
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QSvgRenderer(path).render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon drumIcon()
{
    QIcon icon;
    for (int side : {16, 32, 48, 64, 128})
        icon.addPixmap(renderSvg(QStringLiteral(":/pictures/tamvolo.svg"), QSize(side, side), 1.0));
    return icon;
}

} // namespace

bool Form1::defaultTrayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

Form1::Form1(SoundSink &sound, Platform platform, bool trayAvailable, QWidget *parent)
    : QWidget(parent, Qt::FramelessWindowHint | (trayAvailable ? Qt::Tool : Qt::Window))
    , m_sound(sound)
    , m_platform(std::move(platform))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tamvolo"));
    setWindowIcon(drumIcon());
    setFixedSize(Twips::toPixels(kWidthTwips), Twips::toPixels(kHeightTwips));
    m_smoothOutline = WindowRegion::isComposited();
    if (m_smoothOutline)
        setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(!m_smoothOutline);
    QPalette p = palette();
    p.setColor(QPalette::Window, VbColor::toColor(VbColor::kWhite));
    p.setColor(QPalette::WindowText, VbColor::toColor(VbColor::kBlack)); // readable on it under any theme
    setPalette(p);

    createDrumPicture();
    createSidePanel();
    createTimers();
    nameForScreenReaders();
    const PatternFileActions::PatternFiles files{
        [this](const QByteArray &name) { return OpenFile(name); },
        [this](const QString &name) { return PatternFile::save(name, Text1->text()); }, [this] { return tempo(); }};
    m_fileActions = new PatternFileActions(*this, *Text1, files, m_platform.chooseFile, &SampleFolders::defaults);
    Text1->setMenuActions(m_fileActions->actions());
    auto *tempo = new QAction(QStringLiteral("Tem&po…"), this);
    tempo->setObjectName(QStringLiteral("chooseTempo"));
    connect(tempo, &QAction::triggered, this, &Form1::chooseTempo);
    addMenuAction(tempo);
    setAcceptDrops(true);
    connectEvents();
    setTabOrder();
    Command2->setFocus();
    m_tray = new TrayRestorer(this, trayAvailable);
}

Form1::~Form1() = default;

void Form1::createDrumPicture()
{
    // Created bottom to top: the drum picture lowest, the crash light highest.
    Image1 = place(new PictureBox(QStringLiteral(":/pictures/drumkit.svg"), PictureBox::Fit::Stretch, this), "Image1",
                   Twips::rect(0, 0, 7575, 5745));
    Image1->setToolTip(QStringLiteral("Drag & Drop"));
    Image1->setMouseTracking(true);

    const QColor white = VbColor::toColor(VbColor::kWhite);
    Shape1 = place(new ShapeControl(ShapeControl::Kind::Oval, white, 1, this), "Shape1",
                   Twips::rect(2880, 3000, 2295, 2415), false);
    Shape1->setFill(white);
    Line1 = new LineControl(Twips::point(6240, 2880), Twips::point(5400, 3000), white, 5, this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->hide();
    Line2 = new LineControl(Twips::point(6000, 2110), Twips::point(7320, 2110), white, 3, this);
    Line2->setObjectName(QStringLiteral("Line2"));
    Line2->hide();
    auto overlay = [this](const char *svg, const char *name, const QRect &geometry) {
        return place(
            new PictureBox(QStringLiteral(":/pictures/%1.svg").arg(QLatin1String(svg)), PictureBox::Fit::Stretch, this),
            name, geometry, false);
    };
    Image2 = overlay("padlight_rack_right", "Image2", Twips::rect(4000, 2160, 1155, 315));
    Image3 = overlay("padlight_rack_left", "Image3", Twips::rect(1920, 2280, 1485, 495));
    Image4 = overlay("padlight_floor", "Image4", Twips::rect(420, 2430, 1350, 75));
    Image5 = overlay("padlight_crash", "Image5", Twips::rect(315, 80, 2205, 1005));

    m_padLights.setLights({Shape1, Line1, Line2, Image2, Image3, Image4, Image5});
}

void Form1::createSidePanel()
{
    // Never seen: it lies under the side panel.
    Text3 = place(new QLineEdit(QStringLiteral("Text3"), this), "Text3", Twips::rect(9120, 5280, 1695, 300));
    Text3->setFont(FontSubstitutes::font(Face::MsSansSerif, 8.25));

    // A group box without caption: an etched border round a white panel.
    Frame1 = place(new QFrame(this), "Frame1", Twips::rect(8280, 120, 3375, 6735));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Frame1->setAutoFillBackground(true);
    setColors(Frame1, QPalette::Window, VbColor::kWhite, QPalette::WindowText, VbColor::kBlack);

    // Labels, shapes and pictures first, so every button and box lies above them.
    Label2 = place(new QLabel(QStringLiteral("Info!"), Frame1), "Label2", Twips::rect(1200, 360, 915, 405));
    Label2->setFont(FontSubstitutes::font(Face::MsSerif, 18, true));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setAutoFillBackground(true);
    setColors(Label2, QPalette::Window, VbColor::kWhite, QPalette::WindowText, VbColor::kGreen);
    Label2->setCursor(
        QCursor(renderSvg(QStringLiteral(":/pictures/info_pointer.svg"), QSize(32, 32), devicePixelRatioF()), 16, 16));
    const QColor grey = VbColor::toColor(VbColor::kGrey);
    Shape3 = place(new ShapeControl(ShapeControl::Kind::Rectangle, grey, 1, Frame1), "Shape3",
                   Twips::rect(120, 240, 3135, 615));
    Shape2 = place(new ShapeControl(ShapeControl::Kind::Rectangle, grey, 1, Frame1), "Shape2",
                   Twips::rect(120, 840, 3135, 1455));
    Image6 = place(new PictureBox(QStringLiteral(":/pictures/keylist.svg"), PictureBox::Fit::NaturalSize, Frame1),
                   "Image6", Twips::rect(240, 4200, 2760, 1275), false);

    const QFont buttonFont = FontSubstitutes::font(Face::MsSansSerif, 9.75);
    const QFont smallFont = FontSubstitutes::font(Face::Arial, 8.25);
    CmdCance =
        button(Frame1, "CmdCance", QStringLiteral("Cancella tutto"), Twips::rect(360, 960, 2655, 300), buttonFont);

    Text1 = place(new PatternField(Frame1), "Text1", Twips::rect(360, 1350, 2655, 630));
    Text1->setMaxLength(PatternLength::kSteps);
    Text1->setText(QStringLiteral("V B VVF"));
    Text1->setToolTip(QStringLiteral("Max 7 caratteri"));
    Text1->setFont(FontSubstitutes::font(Face::Tahoma, 24, true, true));
    setColors(Text1, QPalette::Base, VbColor::kBlack, QPalette::Text, VbColor::kGreen);

    Command2 = button<ColourButton>(Frame1, "Command2", QStringLiteral("Esegui"), Twips::rect(360, 1920, 1335, 300),
                                    buttonFont);
    Command2->setBackColour(VbColor::toColor(VbColor::kLightGrey));
    cmdFerma = button<ColourButton>(Frame1, "cmdFerma", QStringLiteral("Ferma"), Twips::rect(1680, 1920, 1335, 300),
                                    buttonFont);
    cmdFerma->setBackColour(VbColor::toColor(VbColor::kButtonFace));

    Text2 = place(new MultiLineTextBox(Frame1), "Text2", Twips::rect(120, 2400, 3135, 1740), false);
    Text2->setText(kHelpText);
    Text2->setFont(FontSubstitutes::font(Face::Arial, 9.75, true));
    Text2->setFocusPolicy(Qt::NoFocus);
    setColors(Text2, QPalette::Base, VbColor::kWhite, QPalette::Text, VbColor::kDarkRed);

    Command6 = button(Frame1, "Command6", QStringLiteral("Apri il registratore di suoni"),
                      Twips::rect(240, 5760, 2775, 300), smallFont, false);
    Command7 = button(Frame1, "Command7", QStringLiteral("Apri il registratore di suoni (xp)"),
                      Twips::rect(240, 5760, 2775, 300), smallFont, false);
    cmdRiduci =
        button(Frame1, "cmdRiduci", QStringLiteral("Riduci a icona"), Twips::rect(240, 6120, 1575, 300), smallFont);
    cmdChiudi = button(Frame1, "cmdChiudi", QStringLiteral("Chiudi"), Twips::rect(2280, 6120, 735, 300), smallFont);

    // Mouse moves: the label, the bare panel and the pattern field have
    // handlers; over any other control of the panel a move changes nothing,
    // so it must not reach the panel beneath.
    for (QWidget *w : {static_cast<QWidget *>(Label2), static_cast<QWidget *>(Frame1), static_cast<QWidget *>(Text1)}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    for (QWidget *w : std::initializer_list<QWidget *>{Image6, CmdCance, Command2, cmdFerma, Text2, Command6, Command7,
                                                       cmdRiduci, cmdChiudi})
        w->setAttribute(Qt::WA_NoMousePropagation);
}

void Form1::createTimers()
{
    auto timer = [this](const char *name, int interval) {
        auto *t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(interval);
        return t;
    };
    Timer1 = timer("Timer1", 100);
    m_loop = std::make_unique<LoopController>(
        m_sound, [this] { return Text1->text(); }, this);
    m_loop->setStepHandlers(
        {[this](std::int64_t beat) { Timer2_Timer(beat); }, [this](std::int64_t beat) { Timer3_Timer(beat); },
         [this](std::int64_t beat) { Timer5_Timer(beat); }, [this](std::int64_t beat) { Timer6_Timer(beat); },
         [this](std::int64_t beat) { Timer7_Timer(beat); }, [this](std::int64_t beat) { Timer8_Timer(beat); },
         [this](std::int64_t beat) { Timer9_Timer(beat); }});
}

void Form1::connectEvents()
{
    Text1->setKeyPressHook([this](short &keyAscii, std::int64_t pressedNs) { Text1_KeyPress(keyAscii, pressedNs); },
                           [this] { return m_sound.nowNs(); });
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    // The help the pointer shows over "Info!", from the keyboard.
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] {
        if (Text2->isVisible())
            Frame1_MouseMove(0, 0, 0, 0);
        else
            Label2_MouseMove(0, 0, 0, 0);
    });
    connect(Image1, &PictureBox::mouseDown, this, &Form1::Image1_MouseDown);
    connect(Image1, &PictureBox::mouseMove, this, &Form1::Image1_MouseMove);
    connect(Image1, &PictureBox::mouseUp, this, &Form1::Image1_MouseUp);
    connect(cmdRiduci, &QPushButton::clicked, this, &Form1::cmdRiduci_Click);
    connect(cmdChiudi, &QPushButton::clicked, this, &Form1::cmdChiudi_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(CmdCance, &QPushButton::clicked, this, &Form1::CmdCance_Click);
    connect(cmdFerma, &QPushButton::clicked, this, &Form1::cmdFerma_Click);
    connect(&m_loop->clock(), &StepClock::stepSounding, Text1, &PatternField::setSoundingStep);
    connect(Text1, &QLineEdit::textChanged, this, [this] { m_loop->patternChanged(); });
}

void Form1::nameForScreenReaders()
{
    Text1->setAccessibleName(QStringLiteral("Pattern"));
    Text1->setAccessibleDescription(QStringLiteral("Max 7 caratteri: ogni tasto suona il suo suono. Il menu (tasto "
                                                   "Menu o Maiusc+F10) apre, salva ed esporta il pattern."));
    Image1->setAccessibleName(QStringLiteral("Batteria"));
    Image1->setAccessibleDescription(QStringLiteral("Si illumina il tamburo di ogni suono; trascinala per spostare "
                                                    "la finestra."));
    Label2->setAccessibleDescription(QStringLiteral("F1 mostra l'aiuto"));
    Text2->setAccessibleName(QStringLiteral("Aiuto"));
    Image6->setAccessibleName(QStringLiteral("Elenco dei tasti"));
    showPlaying();
}

void Form1::showPlaying()
{
    // The light grey one is the button that changes what the loop does.
    const bool playing = m_loop->playing();
    Command2->setBackColour(VbColor::toColor(playing ? VbColor::kButtonFace : VbColor::kLightGrey));
    cmdFerma->setBackColour(VbColor::toColor(playing ? VbColor::kLightGrey : VbColor::kButtonFace));
    const QString state = playing ? QStringLiteral("Il loop suona") : QStringLiteral("Il loop è fermo");
    Spoken::describe(Command2, state);
    Spoken::describe(cmdFerma, state);
}

void Form1::setTabOrder()
{
    const QWidget *chain[] = {Command2, cmdFerma, Text1, CmdCance, cmdChiudi, cmdRiduci, Command6, Text3, Command7};
    for (std::size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(const_cast<QWidget *>(chain[i - 1]), const_cast<QWidget *>(chain[i]));
}

void Form1::centreOnScreen()
{
    if (const QScreen *s = screen()) {
        QRect frame = geometry();
        frame.moveCenter(s->geometry().center());
        move(frame.topLeft());
    }
}

void Form1::paintEvent(QPaintEvent *event)
{
    if (!m_smoothOutline) {
        QWidget::paintEvent(event);
        return;
    }
    // The outline Rounded() gives, drawn smooth: corners of 60 × 60 pixel
    // ellipses.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Window));
    painter.drawRoundedRect(QRectF(rect()), 30, 30);
}
