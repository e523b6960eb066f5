#include "app/RecorderWindow.h"

#include "app/FileMessages.h"
#include "app/FontSubstitutes.h"
#include "app/KeyWords.h"
#include "app/Spoken.h"
#include "app/TakeView.h"
#include "app/VbColor.h"
#include "app/WindowPlacement.h"
#include "keys/Cp1252.h"
#include "keys/DrumKeys.h"
#include "keys/PadTable.h"
#include "sound/SoundSink.h"
#include "sound/TakeEditor.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using FontSubstitutes::Face;

namespace {

constexpr int kMeterFloorDb = -60;

} // namespace

RecorderWindow::RecorderWindow(SoundSink &sound, std::function<std::string()> userFolder, Platform::Ask ask,
                               QWidget *parent, Platform::Choose choose)
    : QWidget(parent, Qt::Window)
    , m_sound(sound)
    , m_ask(std::move(ask))
    , m_choose(std::move(choose))
    , m_take(std::move(userFolder))
{
    setObjectName(QStringLiteral("recorder"));
    // The window itself holds the focus (the keys choose the sample) until
    // Tab takes it to a button.
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(QStringLiteral("Registratore di suoni – Tamvolo"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, VbColor::toColor(VbColor::kWhite));
    p.setColor(QPalette::WindowText, VbColor::toColor(VbColor::kBlack)); // readable on it under any theme
    setPalette(p);
    const QFont font = FontSubstitutes::font(Face::MsSansSerif, 9.75);
    setFont(font);

    m_keyLabel = new QLabel(QStringLiteral("Premi il tasto del suono da registrare (Spazio, quando nessun "
                                           "pulsante ha il focus, per il suono dello spazio)."),
                            this);
    m_keyLabel->setWordWrap(true);
    m_keyLabel->setObjectName(QStringLiteral("keyLabel"));
    m_keyLabel->setFont(FontSubstitutes::font(Face::MsSansSerif, 12, true));
    QPalette red = m_keyLabel->palette();
    red.setColor(QPalette::WindowText, VbColor::toColor(VbColor::kDarkRed));
    m_keyLabel->setPalette(red);

    m_meter = new QProgressBar(this);
    m_meter->setObjectName(QStringLiteral("levelMeter"));
    m_meter->setRange(kMeterFloorDb, 0);
    m_meter->setValue(kMeterFloorDb);
    m_meter->setTextVisible(false);
    m_meter->setFixedHeight(14);
    QPalette meterColours = m_meter->palette();
    meterColours.setColor(QPalette::Highlight, VbColor::toColor(VbColor::kGreen).darker(130));
    m_meter->setPalette(meterColours);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("timeLabel"));

    auto button = [this](const char *name, const QString &text, void (RecorderWindow::*slot)()) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        // Reached by Tab, pressed by Space or Enter; a click leaves the
        // focus where it was, so that the keys still choose the sample (and
        // Space, with the window focused, the space key's).
        b->setFocusPolicy(Qt::TabFocus);
        b->setAutoDefault(true);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    m_record = button("record", QStringLiteral("Registra"), &RecorderWindow::record);
    m_stop = button("stop", QStringLiteral("Ferma"), &RecorderWindow::stop);
    m_listen = button("listen", QStringLiteral("Ascolta"), &RecorderWindow::listen);
    m_save = button("save", QStringLiteral("Salva"), &RecorderWindow::save);
    m_restore = button("restore", QStringLiteral("Ripristina"), &RecorderWindow::restore);

    m_view = new TakeView(this);
    connect(m_view, &TakeView::keptChanged, this, [this](TakeEditor::Span kept) {
        m_take.keep(kept); // another take now, to save again
        showTakeLength();
        updateButtons();
    });

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setWordWrap(true);
    m_status->setMinimumHeight(40);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_record, m_stop, m_listen, m_save, m_restore})
        buttons->addWidget(b);
    auto *meterRow = new QHBoxLayout;
    meterRow->addWidget(m_meter, 1);
    meterRow->addWidget(m_time);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_keyLabel);
    layout->addLayout(meterRow);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_status);

    m_listenTimer = new QTimer(this);
    m_listenTimer->setSingleShot(true);
    connect(m_listenTimer, &QTimer::timeout, this, [this] { updateButtons(); });

    m_meterTimer = new QTimer(this);
    m_meterTimer->setInterval(30);
    connect(m_meterTimer, &QTimer::timeout, this, &RecorderWindow::showLevel);

    setFixedWidth(460);
    showLevel();
    updateButtons();
}

RecorderWindow::~RecorderWindow() = default;

QString RecorderWindow::status() const
{
    return m_status->text();
}

void RecorderWindow::say(const QString &text)
{
    m_status->setText(text);
    WindowPlacement::growWithText(*this);
    // The window holds the focus until Tab takes it to a button.
    Spoken::describe(this, text);
    if (QWidget *focused = focusWidget(); focused && focused != this)
        Spoken::describe(focused, text);
}

void RecorderWindow::updateButtons()
{
    const bool recording = m_input.isRecording();
    m_record->setEnabled(!m_take.file().isEmpty() && !recording);
    m_stop->setEnabled(recording || m_listenTimer->isActive());
    m_listen->setEnabled(!recording && m_take.hasTake());
    m_save->setEnabled(!recording && m_take.hasTake());
    // Greyed where there is nothing of the user's to remove.
    m_restore->setEnabled(!recording && !m_take.userFilePlaying().isEmpty());
}

bool RecorderWindow::mayDropTake()
{
    return !m_take.unsaved() ||
        (m_ask && m_ask(this, QStringLiteral("La registrazione non è stata salvata. Vuoi scartarla?")));
}

void RecorderWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    const QString text = event->text();
    if (m_input.isRecording() || text.size() != 1 || !text.front().isPrint()) {
        QWidget::keyPressEvent(event);
        return;
    }
    const auto code = Cp1252::fromUnicode(text.front().unicode());
    if (!code) {
        say(QStringLiteral("Il tasto «%1» non ha un suono.").arg(text));
        return;
    }
    chooseKey(*code);
}

void RecorderWindow::showBeside(const QWidget &window)
{
    WindowPlacement::showBeside(*this, window);
}

void RecorderWindow::chooseKey(std::uint8_t code)
{
    if (!mayDropTake())
        return;
    const std::uint8_t key = Cp1252::toUpper(code);
    const QString shown = KeyWords::ofKey(key);
    const auto files = PadTable::lookup(key);
    if (files.size() != 1) {
        say(files.empty()
                ? QStringLiteral("Il tasto «%1» non ha un suono.").arg(shown)
                : QStringLiteral("Il tasto «%1» riproduce due suoni in sequenza (%2 e %3): scegli un altro tasto.")
                      .arg(shown, QString::fromUtf8(files.front().data(), qsizetype(files.front().size())),
                           QString::fromUtf8(files.back().data(), qsizetype(files.back().size()))));
        return;
    }
    m_take.chooseKey(key, QString::fromUtf8(files.front().data(), qsizetype(files.front().size())));
    showKey();
    listenToInput();
}

void RecorderWindow::showKey()
{
    const std::uint8_t key = m_take.code();
    const QString &file = m_take.file();
    m_key = KeyWords::ofKey(key);
    m_view->setTake(m_take.recorded(), {0, m_take.recorded().size()});
    m_listenTimer->stop();
    m_time->clear();
    // A drum key says its drum, as a drummer thinks of it: "Tasto «V» (cassa): v.wav".
    const auto light = DrumKeys::padLightFor(key);
    m_keyLabel->setText(
        light ? QStringLiteral("Tasto «%1» (%2): %3").arg(m_key, QLatin1String(DrumKeys::drumName(*light)), file)
              : QStringLiteral("Tasto «%1»: %2").arg(m_key, file));
    // Keys that share the sample get the recording too: said.
    QStringList sharing;
    for (const PadTable::Row &row : PadTable::rows()) {
        if (QString::fromUtf8(row.file.data(), qsizetype(row.file.size())) == file && row.key != key &&
            PadTable::lookup(row.key).size() == 1)
            sharing << QStringLiteral("«%1»").arg(QChar(char16_t(Cp1252::decodeByte(row.key))));
    }
    QString shared;
    if (!sharing.isEmpty()) {
        const QString last = sharing.takeLast();
        shared = QStringLiteral("\nLa registrazione sostituisce anche il suono %1 %2.")
                     .arg(sharing.isEmpty() ? QStringLiteral("del tasto") : QStringLiteral("dei tasti"),
                          sharing.isEmpty() ? last : sharing.join(QStringLiteral(", ")) + QStringLiteral(" e ") + last);
    }
    say(QStringLiteral("Premi «Registra» e parla, canta o suona.") + shared);
    updateButtons();
}

void RecorderWindow::listenToInput()
{
    // The meter moves before "Registra", so that a level can be checked
    // first; where the input cannot open, "Registra" says why.
    if (m_input.open() == AudioInput::Start::Opened)
        m_meterTimer->start();
}

void RecorderWindow::record()
{
    if (m_take.file().isEmpty() || m_input.isRecording() || !mayDropTake())
        return;
    m_take.setTake({}, {});
    m_view->setTake({}, {});
    switch (m_input.record()) {
    case AudioInput::Start::Opened:
        break;
    case AudioInput::Start::NoDevice:
        say(QStringLiteral("Nessun dispositivo di ingresso: impossibile registrare."));
        updateButtons();
        return;
    case AudioInput::Start::NoAnswer:
        say(QStringLiteral("Il dispositivo di ingresso non risponde: impossibile registrare."));
        updateButtons();
        return;
    }
    m_meterTimer->start();
    m_listenTimer->stop();
    say(QStringLiteral("Registrazione in corso… premi «Ferma» per finire (al massimo %1 secondi).")
            .arg(AudioInput::kMaxSeconds));
    updateButtons();
    m_stop->setFocus(Qt::OtherFocusReason); // Enter or Space ends the take
}

void RecorderWindow::showLevel()
{
    const float peak = m_input.takePeak();
    const double db = peak > 0.0f ? 20.0 * std::log10(double(peak)) : kMeterFloorDb;
    m_meter->setValue(int(std::clamp(db, double(kMeterFloorDb), 0.0)));
    if (m_input.isRecording())
        m_time->setText(QStringLiteral("%1 s").arg(TakeView::secondsText(m_input.seconds(), 1)));
    // A server that died, or stopped answering, ends what the input was doing.
    const bool gone = m_input.isLost() || m_input.isStalled();
    if (m_input.isRecording() && gone)
        finishTake(true);
    else if (m_input.isRecording() && m_input.isFull())
        stop();
    else if (gone)
        closeInput(); // "Registra" opens it again, or says why it cannot
}

void RecorderWindow::closeInput()
{
    m_input.stop();
    m_meterTimer->stop();
    m_meter->setValue(kMeterFloorDb);
}

void RecorderWindow::stop()
{
    if (m_listenTimer->isActive()) {
        m_listenTimer->stop();
        m_sound.stopVoice();
        updateButtons();
        return;
    }
    finishTake(false);
}

void RecorderWindow::showTakeLength()
{
    m_time->setText(QStringLiteral("%1 s").arg(TakeView::framesText(m_take.kept().size(), 1)));
}

void RecorderWindow::finishTake(bool lost)
{
    if (!m_input.isRecording())
        return;
    const std::vector<float> raw = m_input.endTake();
    if (lost)
        closeInput();
    // else the meter goes on
    if (const auto kept = TakeEditor::soundIn(raw)) {
        m_take.setTake(raw, *kept);
        m_view->setTake(raw, *kept);
        // One length shown: the take's, as it will play.
        showTakeLength();
        say(QStringLiteral("%1Registrazione pronta: tenuti %2 s di %3 s (il silenzio ai lati è tolto: sposta le "
                           "maniglie per cambiarlo). «Ascolta» per sentirla, «Salva» per usarla.")
                .arg(lost ? QStringLiteral("L'ingresso si è interrotto: ho tenuto quello che era già registrato.\n")
                          : QString(),
                     TakeView::framesText(m_take.kept().size(), 1), TakeView::framesText(raw.size(), 1)));
    } else {
        say(lost ? QStringLiteral("L'ingresso si è interrotto prima di qualsiasi suono: riprova.")
                 : QStringLiteral("Nella registrazione non c'è nessun suono: riprova."));
    }
    updateButtons();
    setFocus(Qt::OtherFocusReason); // the keys choose the sample again
}

void RecorderWindow::listen()
{
    if (!m_take.hasTake())
        return;
    m_sound.playWav(m_take.wav());
    // "Ferma" stops it until it has played out.
    m_listenTimer->start(int(m_take.kept().size() * 1000 / TakeEditor::kRate) + 1);
    updateButtons();
}

void RecorderWindow::save()
{
    if (!m_take.hasTake())
        return;
    if (m_take.userFile().isEmpty()) {
        say(QStringLiteral("Non c'è una cartella personale dove salvare i suoni."));
        return;
    }
    if (!m_take.userFilePlaying().isEmpty() &&
        !(m_ask &&
          m_ask(this, QStringLiteral("Il tasto «%1» ha già una tua registrazione: vuoi sostituirla?").arg(m_key))))
        return;
    const KeyTake::Saved saved = m_take.save();
    if (saved.result != CarefulWriter::Result::Written) {
        say(FileMessages::notWritten(QStringLiteral("Impossibile salvare il suono"), saved.path, saved.result));
        return;
    }
    say(QStringLiteral("Salvato: il tasto «%1» suona la tua registrazione.").arg(m_key));
    updateButtons();
}

void RecorderWindow::restore()
{
    if (m_take.userFilePlaying().isEmpty()) {
        say(QStringLiteral("Il tasto «%1» usa già il suono originale.").arg(m_key));
        return;
    }
    if (!(m_ask && m_ask(this, QStringLiteral("Vuoi eliminare la tua registrazione del tasto «%1»?").arg(m_key))))
        return;
    if (const QString left = m_take.restore(); !left.isEmpty()) {
        say(QStringLiteral("Impossibile eliminare la registrazione:\n%1").arg(left));
        return;
    }
    say(QStringLiteral("Ripristinato: il tasto «%1» usa di nuovo il suono originale.").arg(m_key));
    updateButtons();
}

bool RecorderWindow::mayEnd()
{
    if (!m_take.unsaved() || !m_choose)
        return mayDropTake();
    const int chosen =
        m_choose(this, QStringLiteral("La tua registrazione del tasto «%1» non è stata salvata.").arg(m_key),
                 {QStringLiteral("Salva"), QStringLiteral("Scarta"), QStringLiteral("Annulla")});
    if (chosen == 0)
        save(); // a save that fails says why here, and the program stays
    if ((chosen == 0 && !m_take.unsaved()) || chosen == 1)
        return true;
    show();
    raise();
    activateWindow();
    return false;
}

bool RecorderWindow::keepUnsavedTake()
{
    return m_take.keepUnsaved();
}

bool RecorderWindow::keptTakeWaits(const std::string &userFolder)
{
    return !KeyTake::keptTake(userFolder).isEmpty();
}

bool RecorderWindow::offerKeptTake()
{
    const QString path = m_take.keptTake();
    if (path.isEmpty() || !mayDropTake())
        return false;
    const auto key = m_take.takeBackKept([](std::uint8_t code) {
        const auto files = PadTable::lookup(code);
        return files.size() == 1 ? QString::fromUtf8(files.front().data(), qsizetype(files.front().size())) : QString();
    });
    if (!key) {
        say(QStringLiteral("Una registrazione non salvata non si può riaprire:\n%1").arg(path));
        return false;
    }
    showKey();
    showTakeLength();
    say(QStringLiteral("Alla chiusura di Tamvolo la registrazione del tasto «%1» non era salvata: eccola. "
                       "«Ascolta» per sentirla, «Salva» per usarla.")
            .arg(m_key));
    updateButtons();
    return true;
}

void RecorderWindow::closeEvent(QCloseEvent *event)
{
    finishTake(false);
    closeInput();
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

void RecorderWindow::showEvent(QShowEvent *event)
{
    // Opened again: what was said last time is over.
    if (!event->spontaneous() && !m_input.isRecording())
        say(QString());
    QWidget::showEvent(event);
    setFocus(Qt::OtherFocusReason);
    if (!event->spontaneous() && !m_take.file().isEmpty())
        listenToInput();
}
