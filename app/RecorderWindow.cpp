#include "app/RecorderWindow.h"

#include "app/FontSubstitutes.h"
#include "app/VbColor.h"
#include "keys/Cp1252.h"
#include "keys/PadTable.h"
#include "sound/SoundSink.h"
#include "sound/TakeEditor.h"
#include "sound/WavFile.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
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

RecorderWindow::RecorderWindow(SoundSink &sound, std::function<std::string()> userFolder, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_sound(sound)
    , m_userFolder(std::move(userFolder))
{
    setObjectName(QStringLiteral("recorder"));
    setWindowTitle(QStringLiteral("Registratore di suoni - Tamvolo"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, VbColor::toColor(VbColor::kWhite));
    setPalette(p);
    const QFont font = FontSubstitutes::font(Face::MsSansSerif, 9.75);
    setFont(font);

    m_keyLabel = new QLabel(QStringLiteral("Premi il tasto del suono da registrare."), this);
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
        b->setFocusPolicy(Qt::NoFocus); // keys choose the sample
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    m_record = button("record", QStringLiteral("Registra"), &RecorderWindow::record);
    m_stop = button("stop", QStringLiteral("Ferma"), &RecorderWindow::stop);
    m_listen = button("listen", QStringLiteral("Ascolta"), &RecorderWindow::listen);
    m_save = button("save", QStringLiteral("Salva"), &RecorderWindow::save);
    m_restore = button("restore", QStringLiteral("Ripristina"), &RecorderWindow::restore);

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
    layout->addLayout(buttons);
    layout->addWidget(m_status);

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
}

void RecorderWindow::updateButtons()
{
    const bool recording = m_input.isRecording();
    m_record->setEnabled(!m_file.isEmpty() && !recording);
    m_stop->setEnabled(recording);
    m_listen->setEnabled(!recording && !m_takeWav.empty());
    m_save->setEnabled(!recording && !m_take.empty());
    m_restore->setEnabled(!recording && !m_file.isEmpty());
}

QString RecorderWindow::userFile() const
{
    const std::string folder = m_userFolder ? m_userFolder() : std::string();
    if (folder.empty() || m_file.isEmpty())
        return {};
    return QString::fromStdString(folder) + m_file;
}

void RecorderWindow::keyPressEvent(QKeyEvent *event)
{
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

void RecorderWindow::chooseKey(std::uint8_t code)
{
    const std::uint8_t key = Cp1252::toUpper(code);
    const QString shown = QString(QChar(char16_t(Cp1252::decodeByte(key))));
    const auto files = PadTable::lookup(key);
    if (files.size() != 1) {
        say(files.empty()
                ? QStringLiteral("Il tasto «%1» non ha un suono.").arg(shown)
                : QStringLiteral("Il tasto «%1» suona più campioni insieme: scegli un altro tasto.").arg(shown));
        return;
    }
    m_key = shown;
    m_file = QString::fromUtf8(files.front().data(), qsizetype(files.front().size()));
    m_take.clear();
    m_takeWav.clear();
    m_keyLabel->setText(QStringLiteral("Tasto «%1»: %2").arg(m_key, m_file));
    say(QStringLiteral("Premi «Registra» e parla, canta o suona."));
    updateButtons();
}

void RecorderWindow::record()
{
    if (m_file.isEmpty() || m_input.isRecording())
        return;
    m_take.clear();
    m_takeWav.clear();
    if (!m_input.start()) {
        say(QStringLiteral("Nessun dispositivo di ingresso: impossibile registrare."));
        updateButtons();
        return;
    }
    m_meterTimer->start();
    say(QStringLiteral("Registrazione in corso… «Ferma» per finire (al massimo %1 secondi).")
            .arg(AudioInput::kMaxSeconds));
    updateButtons();
}

void RecorderWindow::showLevel()
{
    const float peak = m_input.isRecording() ? m_input.takePeak() : 0.0f;
    const double db = peak > 0.0f ? 20.0 * std::log10(double(peak)) : kMeterFloorDb;
    m_meter->setValue(int(std::clamp(db, double(kMeterFloorDb), 0.0)));
    m_time->setText(QStringLiteral("%1 s").arg(QLocale(QLocale::Italian).toString(m_input.seconds(), 'f', 1)));
    if (m_input.isRecording() && m_input.isFull())
        stop();
}

void RecorderWindow::stop()
{
    if (!m_input.isRecording())
        return;
    const std::vector<float> raw = m_input.stop();
    m_meterTimer->stop();
    m_meter->setValue(kMeterFloorDb);
    if (auto edited = TakeEditor::edit(raw)) {
        m_take = std::move(*edited);
        m_takeWav = WavFile::encode16(m_take, 1, TakeEditor::kRate);
        say(QStringLiteral("Registrazione pronta (%1 s): «Ascolta» per sentirla, «Salva» per usarla.")
                .arg(QLocale(QLocale::Italian).toString(double(m_take.size()) / TakeEditor::kRate, 'f', 2)));
    } else {
        say(QStringLiteral("Nella registrazione non c'è nessun suono: riprova."));
    }
    updateButtons();
}

void RecorderWindow::listen()
{
    if (!m_takeWav.empty())
        m_sound.playWav(m_takeWav);
}

void RecorderWindow::save()
{
    if (m_take.empty())
        return;
    const QString path = userFile();
    if (path.isEmpty()) {
        say(QStringLiteral("Non c'è una cartella personale dove salvare i suoni."));
        return;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !WavFile::save16(path, m_take, 1, TakeEditor::kRate)) {
        say(QStringLiteral("Impossibile salvare il suono:\n%1").arg(path));
        return;
    }
    say(QStringLiteral("Salvato: il tasto «%1» suona la tua registrazione.").arg(m_key));
}

void RecorderWindow::restore()
{
    const QString path = userFile();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        say(QStringLiteral("Il tasto «%1» suona già il suono originale.").arg(m_key));
        return;
    }
    if (!QFile::remove(path)) {
        say(QStringLiteral("Impossibile togliere il suono:\n%1").arg(path));
        return;
    }
    say(QStringLiteral("Ripristinato: il tasto «%1» suona il suono originale.").arg(m_key));
}

void RecorderWindow::closeEvent(QCloseEvent *event)
{
    stop();
    QWidget::closeEvent(event);
}
