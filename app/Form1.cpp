#include "app/Form1.h"

#include "app/ColourButton.h"
#include "app/FontSubstitutes.h"
#include "app/LineControl.h"
#include "app/MultiLineTextBox.h"
#include "app/PatternField.h"
#include "app/PatternFileActions.h"
#include "app/PictureBox.h"
#include "app/RecorderWindow.h"
#include "app/ShapeControl.h"
#include "app/TrayRestorer.h"
#include "app/Twips.h"
#include "app/VbColor.h"
#include "app/WindowRegion.h"
#include "keys/Cp1252.h"
#include "keys/PadTable.h"
#include "sequencer/StepLoop.h"
#include "sequencer/StepSequencer.h"
#include "services/PatternFile.h"
#include "sound/SoundBank.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>
#include <algorithm>

using FontSubstitutes::Face;

namespace {

const QString kHelpText =
    QStringLiteral("Digitare nella casella nera, massimo 7 caratteri ed usare \r\nuno spazio per finire o separare \r\n"
                   "i suoni.\t\t\t\r\n\t    \r\nTasti da utilizzare per la \r\nbatteria:\r\n");

void setButtonColor(ColourButton *b, quint32 color)
{
    b->setBackColour(VbColor::toColor(color));
}

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
    setPalette(p);

    createDrumPicture();
    createSidePanel();
    createTimers();
    m_fileActions = new PatternFileActions(*this, *Text1, m_platform.chooseFile, &SoundBank::defaultSampleFolders);
    Text1->setMenuActions(m_fileActions->actions());
    setAcceptDrops(true);
    connectEvents();
    setTabOrder();
    Command2->setFocus();
    m_tray = new TrayRestorer(this, trayAvailable);
}

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

    m_padLights = {Shape1, Line1, Line2, Image2, Image3, Image4, Image5};
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
    Text1->setMaxLength(7);
    Text1->setText(QStringLiteral("V B VVF"));
    Text1->setToolTip(QStringLiteral("Max 7 caratteri"));
    Text1->setFont(FontSubstitutes::font(Face::Tahoma, 24, true, true));
    setColors(Text1, QPalette::Base, VbColor::kBlack, QPalette::Text, VbColor::kGreen);

    Command2 = button<ColourButton>(Frame1, "Command2", QStringLiteral("Esegui"), Twips::rect(360, 1920, 1335, 300),
                                    buttonFont);
    setButtonColor(Command2, VbColor::kLightGrey);
    cmdFerma = button<ColourButton>(Frame1, "cmdFerma", QStringLiteral("Ferma"), Twips::rect(1680, 1920, 1335, 300),
                                    buttonFont);
    setButtonColor(cmdFerma, VbColor::kButtonFace);

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
    // One clock for the seven steps: it wakes for whichever step is due
    // next (see runDueSteps), to the millisecond, not 5 % coarse.
    m_stepClock = new QTimer(this);
    m_stepClock->setObjectName(QStringLiteral("stepClock"));
    m_stepClock->setSingleShot(true);
    m_stepClock->setTimerType(Qt::PreciseTimer);
}

void Form1::connectEvents()
{
    Text1->setKeyPressHook([this](short &keyAscii) { Text1_KeyPress(keyAscii); });
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
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
    connect(m_stepClock, &QTimer::timeout, this, &Form1::runDueSteps);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::askStepsAgain);
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

void Form1::Text1_KeyPress(short &KeyAscii)
{
    KeyAscii = short(Cp1252::toUpper(std::uint8_t(KeyAscii)));
    Command2->setEnabled(true);
    // The sound follows the key's press by the same delay however late this
    // handler runs.
    const std::int64_t pressed = m_sound.nowNs() - Text1->keyAgeNs();
    for (const std::string_view file : PadTable::lookup(std::uint8_t(KeyAscii)))
        PlaySample(file, pressed);
    if (const auto light = DrumKeys::padLightFor(std::uint8_t(KeyAscii)))
        m_padLights[std::size_t(*light)]->show();
    if (!Timer1->isActive()) // already running: it stays on, its count goes on
        Timer1->start();
}

void Form1::PlaySample(std::string_view name, std::int64_t stampNs, bool step)
{
    if (step)
        m_sound.playStep(name, stampNs);
    else
        m_sound.playSample(name, stampNs);
}

void Form1::askStepsAgain()
{
    const std::int64_t now = m_sound.nowNs();
    std::erase_if(m_stepsAsked, [now](const auto &asked) { return asked.second <= now; });
    if (m_stepsAsked.empty())
        return;
    m_sound.withdrawSteps(m_stepsAsked.front().second);
    for (const auto &[step, due] : m_stepsAsked)
        PlaySample(StepSequencer::stepName(Text1->text(), step), due, true);
}

void Form1::Timer1_Timer()
{
    for (QWidget *light : m_padLights)
        light->hide();
}

void Form1::Command2_Click()
{
    if (Text1->text().isEmpty())
        return;
    setButtonColor(cmdFerma, VbColor::kLightGrey);
    setButtonColor(Command2, VbColor::kButtonFace);
    // Arms step 1 beside whatever step is pending; arming it again restarts
    // its count.
    m_loop.start(m_sound.nowNs());
    scheduleStepClock();
}

void Form1::cmdFerma_Click()
{
    m_loop.stop();
    m_stepClock->stop();
    // A step asked for ahead of its beat is not heard after the stop; one on
    // its beat already has been.
    m_sound.withdrawSteps(m_sound.nowNs() + 1);
    m_stepsAsked.clear();
    ++m_markGeneration;
    Text1->setSoundingStep(0);
    setButtonColor(Command2, VbColor::kLightGrey);
    setButtonColor(cmdFerma, VbColor::kButtonFace);
}

void Form1::playStep(int step)
{
    // Stamped with the step's due time, not the time this tick happened to
    // run: the sound lands on the chain's grid.
    const std::int64_t now = m_sound.nowNs();
    const std::int64_t due = m_loop.tick(step, now);
    PlaySample(StepSequencer::stepName(Text1->text(), step), due, true);
    std::erase_if(m_stepsAsked, [now](const auto &asked) { return asked.second <= now; });
    m_stepsAsked.emplace_back(step, due);
    markStepAt(step, due - now);
    scheduleStepClock();
}

void Form1::markStepAt(int step, std::int64_t inNs)
{
    const int generation = m_markGeneration;
    QTimer::singleShot(int(std::clamp<std::int64_t>(inNs / 1'000'000, 0, StepLoop::kIntervalNs / 1'000'000)),
                       Qt::PreciseTimer, this, [this, step, generation] {
                           if (generation == m_markGeneration)
                               Text1->setSoundingStep(step);
                       });
}

void Form1::runDueSteps()
{
    using Handler = void (Form1::*)();
    static constexpr std::array<Handler, StepLoop::kSteps> kTicks = {
        &Form1::Timer2_Timer, &Form1::Timer3_Timer, &Form1::Timer5_Timer, &Form1::Timer6_Timer,
        &Form1::Timer7_Timer, &Form1::Timer8_Timer, &Form1::Timer9_Timer};
    const std::int64_t now = m_sound.nowNs();
    while (const auto step = m_loop.dueBy(now + kStepLeadNs)) {
        // A beat missed by more than a step (the machine slept, the window
        // was held up) passes in silence; the chain keeps its grid.
        if (*m_loop.dueNs(*step) + StepLoop::kIntervalNs < now)
            m_loop.tick(*step, now);
        else
            (this->*kTicks[std::size_t(*step - 1)])();
    }
    scheduleStepClock();
}

void Form1::scheduleStepClock()
{
    const auto step = m_loop.firstDue();
    if (!step) {
        m_stepClock->stop();
        return;
    }
    const std::int64_t wait = *m_loop.dueNs(*step) - kStepLeadNs - m_sound.nowNs();
    m_stepClock->start(
        int(std::clamp<std::int64_t>((wait + 999'999) / 1'000'000, 0, StepLoop::kIntervalNs / 1'000'000)));
}

void Form1::Timer2_Timer()
{
    playStep(1);
}
void Form1::Timer3_Timer()
{
    playStep(2);
}
void Form1::Timer5_Timer()
{
    playStep(3);
}
void Form1::Timer6_Timer()
{
    playStep(4);
}
void Form1::Timer7_Timer()
{
    playStep(5);
}
void Form1::Timer8_Timer()
{
    playStep(6);
}
void Form1::Timer9_Timer()
{
    playStep(7);
}

void Form1::Form_Load()
{
    Rounded();
    if (Text1->text().isEmpty())
        Command2->setEnabled(false);
    chooseRecorder();
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

void Form1::Rounded()
{
    const int w = Twips::toPixels(double(width()) * Twips::kPerPixel);
    const int h = Twips::toPixels(double(height()) * Twips::kPerPixel);
    WindowRegion::setWindowRgn(this, WindowRegion::createRoundRectRgn(0, 0, w, h, 60, 60), true);
}

void Form1::chooseRecorder()
{
    OsVersionInfo info;
    info.size = OsVersionInfo::kSize;
    m_platform.getVersionEx(info); // a failed query leaves platform 0
    Text3->setText(QString::number(info.platformId));
    if (Text3->text().toDouble() == 1)
        Command6->show();
    if (Text3->text().toDouble() == 0)
        Command6->show();
    if (Text3->text().toDouble() >= 2) {
        Command6->hide();
        Command7->show();
    }
}

void Form1::startRecorder(const QString &path)
{
    if (m_platform.startProgram(path, 1))
        return;
    // The system's recorder cannot be started (on Linux there is none): our
    // own opens instead, beside the window; a running loop goes on.
    if (!m_recorder)
        m_recorder = new RecorderWindow(m_sound, &SoundBank::userSampleFolder, m_platform.ask, this);
    m_recorder->show();
    m_recorder->raise();
    m_recorder->activateWindow();
}

void Form1::Command6_Click()
{
    startRecorder(QStringLiteral("C:\\WINDOWS\\SNDREC32.EXE"));
}

void Form1::Command7_Click()
{
    startRecorder(QStringLiteral("C:\\WINDOWS\\System32\\sndrec32.exe"));
}

void Form1::Image1_MouseDown(int Button, int, float X, float Y)
{
    if (Button == Qt::LeftButton) {
        // Where a program may not move its own window (Wayland), the
        // compositor does the drag; it keeps the pointer until the release.
        const bool compositorMoves = QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
            windowHandle() && windowHandle()->startSystemMove();
        if (!compositorMoves) {
            DragX = X;
            DragY = Y;
            Dragging = true;
        }
    }
    Image1->setCursor(Qt::SizeAllCursor);
}

void Form1::Image1_MouseMove(int, int, float X, float Y)
{
    if (!Dragging)
        return;
    const float top = float(y() * Twips::kPerPixel) + Y - DragY;
    const float left = float(x() * Twips::kPerPixel) + X - DragX;
    move(Twips::toPixels(left), Twips::toPixels(top));
}

void Form1::Image1_MouseUp(int Button, int, float, float)
{
    if (Button == Qt::LeftButton)
        Dragging = false;
    Image1->unsetCursor();
}

void Form1::cmdRiduci_Click()
{
    setWindowState(windowState() | Qt::WindowMinimized);
}

void Form1::cmdChiudi_Click()
{
    QCoreApplication::exit(0);
}

void Form1::Label2_MouseMove(int, int, float, float)
{
    Text2->show();
    Image6->show();
}

void Form1::Frame1_MouseMove(int, int, float, float)
{
    Text2->hide();
    Image6->hide();
}

void Form1::Text1_MouseMove(int, int, float, float)
{
    Text2->hide();
    Image6->hide();
}

void Form1::openPattern(const QString &path)
{
    m_fileActions->open(path);
}

void Form1::openPattern(const QByteArray &nativePath)
{
    m_fileActions->openNative(nativePath);
}

namespace {

// The one local file a drag carries, or nothing. A name holding a NUL
// ("%00") names no file: cut there, it would name another.
QString droppedFile(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls().front().isLocalFile())
        return {};
    const QString path = mime->urls().front().toLocalFile();
    return path.contains(QChar(u'\0')) ? QString() : path;
}

} // namespace

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Back from minimised (the tray, the taskbar): the keys go to the field,
    // as a person coming back expects to play at once.
    if (event->type() == QEvent::WindowStateChange &&
        (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized) && !isMinimized())
        Text1->setFocus(Qt::ActiveWindowFocusReason);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager (Alt+F4, its menu) as by "Chiudi": with a
    // tray the window is a tool window, which Qt does not count as the last
    // one, so the program would go on without a window.
    QWidget::closeEvent(event);
    if (event->isAccepted())
        cmdChiudi_Click();
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    openPattern(path);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseMove)
        return QWidget::eventFilter(watched, event);
    const auto *move = static_cast<QMouseEvent *>(event);
    const int button = int(move->buttons());
    const float x = float(move->position().x() * Twips::kPerPixel);
    const float y = float(move->position().y() * Twips::kPerPixel);
    if (watched == Label2) {
        Label2_MouseMove(button, 0, x, y);
        return true;
    }
    if (watched == Frame1) {
        Frame1_MouseMove(button, 0, x, y);
        return true;
    }
    if (watched == Text1)
        Text1_MouseMove(button, 0, x, y); // the field still selects with the mouse
    return QWidget::eventFilter(watched, event);
}

void Form1::CmdCance_Click()
{
    Text1->setText(QString());
}

bool Form1::OpenFile(const QString &Filename)
{
    return OpenFile(QFile::encodeName(Filename));
}

bool Form1::OpenFile(const QByteArray &Filename)
{
    const auto pattern = PatternFile::readNative(Filename);
    if (!pattern)
        return false;
    Text1->setText(*pattern);
    return true;
}

bool Form1::CloseFile(const QString &Filename)
{
    return PatternFile::write(Filename, Text1->text());
}
