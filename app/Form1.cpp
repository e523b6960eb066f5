#include "app/Form1.h"

#include "app/ColourButton.h"
#include "app/KitChooser.h"
#include "app/MidiLearnDialog.h"
#include "app/MultiLineTextBox.h"
#include "app/PatternField.h"
#include "app/PatternFileActions.h"
#include "app/PictureBox.h"
#include "app/RecorderWindow.h"
#include "app/TempoDialog.h"
#include "app/Twips.h"
#include "app/VbColor.h"
#include "app/WindowPlacement.h"
#include "app/WindowRegion.h"
#include "files/CarefulReader.h"
#include "files/ConfigFile.h"
#include "keys/Cp1252.h"
#include "keys/PadTable.h"
#include "keys/PatternLength.h"
#include "sequencer/LoopController.h"
#include "services/PatternFile.h"
#include "sound/KitCatalog.h"
#include "sound/SampleFolders.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLoggingCategory>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>

namespace {

Q_LOGGING_CATEGORY(lcWindow, "tamvolo.window", QtWarningMsg)

} // namespace

void Form1::Text1_KeyPress(short &KeyAscii, std::int64_t pressedNs)
{
    KeyAscii = short(Cp1252::toUpper(std::uint8_t(KeyAscii)));
    Command2->setEnabled(true);
    // The sound follows the key's press by the same delay however late this
    // handler runs.
    for (const std::string_view file : PadTable::lookup(std::uint8_t(KeyAscii)))
        PlaySample(file, pressedNs);
    lightPad(std::uint8_t(KeyAscii));
}

void Form1::lightPad(std::uint8_t key)
{
    m_padLights.light(key);
    if (!Timer1->isActive()) // already running: it stays on, its count goes on
        Timer1->start();
}

void Form1::setMidi(MidiLearnDialog::Pads pads)
{
    m_midiPads = std::move(pads);
    auto *learn = new QAction(QStringLiteral("Assegna un suono a un pad &MIDI…"), this);
    learn->setObjectName(QStringLiteral("learnMidiPad"));
    connect(learn, &QAction::triggered, this, &Form1::learnMidiPad);
    addMenuAction(learn);
}

void Form1::useTempoFile(const std::string &file)
{
    m_tempoFile = file;
    std::string text;
    if (!file.empty() && CarefulReader::read(file, text, 4096) == CarefulReader::Result::Read)
        m_loop->setTempo(Tempo::fromText(text));
}

const Tempo &Form1::tempo() const
{
    return m_loop->tempo();
}

void Form1::chooseTempo()
{
    if (!m_tempoDialog) {
        m_tempoDialog = new TempoDialog(tempo(), this);
        connect(m_tempoDialog, &TempoDialog::changed, this, [this](const Tempo &chosen) { m_loop->setTempo(chosen); });
        connect(m_tempoDialog, &QDialog::finished, this, [this] {
            if (!m_tempoFile.empty() &&
                ConfigFile::write(m_tempoFile, tempo().text()) != CarefulWriter::Result::Written)
                qCDebug(lcWindow) << "the tempo could not be kept in" << m_tempoFile.c_str();
        });
    }
    WindowPlacement::bringBeside(*m_tempoDialog, *this);
}

void Form1::addMenuAction(QAction *action)
{
    m_menuExtras << action;
    Text1->setMenuActions(m_fileActions->actions() + m_menuExtras);
}

void Form1::setKits(KitLoader &loader, std::function<std::shared_ptr<const KitSounds>()> playing)
{
    m_kits = &loader;
    m_playingKit = std::move(playing);
    auto *choose = new QAction(QStringLiteral("Scegli il &kit…"), this);
    choose->setObjectName(QStringLiteral("chooseKit"));
    connect(choose, &QAction::triggered, this, &Form1::chooseKit);
    addMenuAction(choose);
}

void Form1::chooseKit()
{
    if (!m_kitChooser)
        m_kitChooser = new KitChooser(*m_kits, m_playingKit, m_platform.chooseFile, this);
    WindowPlacement::bringBeside(*m_kitChooser, *this);
}

void Form1::openKit(const QString &path)
{
    chooseKit();
    m_kitChooser->open(path);
}

void Form1::kitTold(const KitLoader::Told &told)
{
    if (m_kitChooser)
        m_kitChooser->told(told);
}

void Form1::midiNote(std::uint8_t note, std::uint8_t key)
{
    if (key != 0)
        lightPad(key);
    if (m_midiLearn && m_midiLearn->isVisible())
        m_midiLearn->noteHeard(note);
}

void Form1::learnMidiPad()
{
    if (!m_midiLearn)
        m_midiLearn = new MidiLearnDialog(m_midiPads, this);
    WindowPlacement::bringBeside(*m_midiLearn, *this);
}

void Form1::midiMapWritten(const MidiPlayer::MapWritten &written)
{
    if (m_midiLearn)
        m_midiLearn->mapWritten(written);
}

void Form1::PlaySample(std::string_view name, std::int64_t stampNs)
{
    m_sound.playSample(name, stampNs);
}

void Form1::Timer1_Timer()
{
    m_padLights.darken();
}

void Form1::Command2_Click()
{
    m_loop->play();
    showPlaying();
}

void Form1::cmdFerma_Click()
{
    m_loop->stop();
    showPlaying();
}

void Form1::Timer2_Timer(std::int64_t beatNs)
{
    m_loop->playStep(1, beatNs);
}
void Form1::Timer3_Timer(std::int64_t beatNs)
{
    m_loop->playStep(2, beatNs);
}
void Form1::Timer5_Timer(std::int64_t beatNs)
{
    m_loop->playStep(3, beatNs);
}
void Form1::Timer6_Timer(std::int64_t beatNs)
{
    m_loop->playStep(4, beatNs);
}
void Form1::Timer7_Timer(std::int64_t beatNs)
{
    m_loop->playStep(5, beatNs);
}
void Form1::Timer8_Timer(std::int64_t beatNs)
{
    m_loop->playStep(6, beatNs);
}
void Form1::Timer9_Timer(std::int64_t beatNs)
{
    m_loop->playStep(7, beatNs);
}

void Form1::Form_Load()
{
    Rounded();
    if (Text1->text().isEmpty())
        Command2->setEnabled(false);
    chooseRecorder();
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
    const double platform = Text3->text().toDouble();
    if (platform == 1)
        Command6->show();
    if (platform == 0)
        Command6->show();
    if (platform >= 2) {
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
    recorder().showBeside(*this);
}

RecorderWindow &Form1::recorder()
{
    if (!m_recorder) {
        m_recorder = new RecorderWindow(m_sound, &SampleFolders::user, m_platform.ask, this, m_platform.choose);
        // Closed, the keys go back to the pattern field.
        connect(m_recorder, &RecorderWindow::closed, this, [this] {
            activateWindow();
            Text1->setFocus(Qt::ActiveWindowFocusReason);
        });
    }
    return *m_recorder;
}

bool Form1::mayEnd()
{
    return !m_recorder || m_recorder->mayEnd();
}

void Form1::keepUnsavedTake()
{
    if (m_recorder)
        m_recorder->keepUnsavedTake();
}

void Form1::offerKeptTake()
{
    if (RecorderWindow::keptTakeWaits(SampleFolders::user()) && recorder().offerKeptTake())
        m_recorder->showBeside(*this);
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
    close();
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
    // "Chiudi", or the window manager (Alt+F4, its menu): the program ends,
    // unless the recorder holds a take the user wants to keep. With a tray
    // the window is a tool window, which Qt does not count as the last one,
    // so the program is ended here, not by Qt.
    if (!mayEnd()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (event->isAccepted())
        QCoreApplication::exit(0);
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
    if (m_kits && KitCatalog::isKitFile(path.toStdString()))
        openKit(path);
    else
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
    // As an edit of the field's, which Ctrl+Z takes back.
    Text1->selectAll();
    Text1->del();
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
    // As an edit of the field's, which Ctrl+Z takes back.
    Text1->selectAll();
    Text1->insert(*pattern);
    return true;
}

bool Form1::CloseFile(const QString &Filename)
{
    return PatternFile::write(Filename, Text1->text());
}
