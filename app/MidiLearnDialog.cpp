#include "app/MidiLearnDialog.h"

#include "app/FileMessages.h"
#include "app/KeyWords.h"
#include "app/Spoken.h"
#include "app/WindowPlacement.h"
#include "keys/Cp1252.h"
#include "keys/PadTable.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kNoteRole = Qt::UserRole;       // column 0: the row's note
constexpr int kTaughtRole = Qt::UserRole + 1; // column 2: taught by the user

const QString kHitAPad = QStringLiteral("Colpisci il pad a cui vuoi assegnare un suono.");

} // namespace

MidiLearnDialog::MidiLearnDialog(Pads pads, QWidget *parent)
    : QDialog(parent)
    , m_pads(std::move(pads))
{
    setObjectName(QStringLiteral("midiLearn"));
    setWindowTitle(QStringLiteral("Pad MIDI – Tamvolo"));
    auto *layout = new QVBoxLayout(this);
    m_input = new QLabel(this);
    m_input->setObjectName(QStringLiteral("midiLearnInput"));
    m_input->setWordWrap(true);
    layout->addWidget(m_input);
    m_text = new QLabel(kHitAPad, this);
    m_text->setObjectName(QStringLiteral("midiLearnText"));
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(360);
    layout->addWidget(m_text);

    m_table = new QTableWidget(0, 3, this);
    m_table->setObjectName(QStringLiteral("midiLearnMap"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Nota"), QStringLiteral("Suona"), QStringLiteral("Da")});
    m_table->setAccessibleName(QStringLiteral("Mappa dei pad MIDI"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setTabKeyNavigation(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setMinimumHeight(m_table->verticalHeader()->defaultSectionSize() * 8);
    m_table->installEventFilter(this);
    layout->addWidget(m_table, 1);

    auto *buttons = new QDialogButtonBox(this);
    m_forget = buttons->addButton(QStringLiteral("&Dimentica il pad"), QDialogButtonBox::ActionRole);
    m_forget->setObjectName(QStringLiteral("midiLearnForget"));
    QPushButton *reset =
        buttons->addButton(QStringLiteral("Torna alla mappa &General MIDI"), QDialogButtonBox::ResetRole);
    reset->setObjectName(QStringLiteral("midiLearnReset"));
    QPushButton *close = buttons->addButton(QStringLiteral("Chiudi"), QDialogButtonBox::RejectRole);
    for (QPushButton *button : {m_forget, reset, close})
        button->setAutoDefault(false); // Enter names a key, it presses no button
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_forget, &QPushButton::clicked, this, [this] {
        const int row = m_table->currentRow();
        if (row < 0 || !m_pads.teach)
            return;
        const int note = m_table->item(row, 0)->data(kNoteRole).toInt();
        m_pads.teach(std::uint8_t(note), 0);
        m_taught = note;
        m_taughtKey.clear();
        showMap();
        say(QStringLiteral("Il pad nota %1 suona di nuovo come nella mappa General MIDI.").arg(note));
    });
    connect(reset, &QPushButton::clicked, this, [this] {
        if (m_pads.forgetAll)
            m_pads.forgetAll();
        m_taught = -1;
        showMap();
        say(QStringLiteral("Ogni pad suona di nuovo come nella mappa General MIDI."));
    });
    connect(m_table, &QTableWidget::currentCellChanged, this, &MidiLearnDialog::enableForget);
    layout->addWidget(buttons);

    // The input may come and go while the dialog is open.
    m_lookAtInput = new QTimer(this);
    m_lookAtInput->setInterval(1000);
    connect(m_lookAtInput, &QTimer::timeout, this, &MidiLearnDialog::showInput);
    showMap();
    showInput();
}

void MidiLearnDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_lookAtInput->start();
    showMap();
    showInput();
    m_table->setFocus(Qt::ActiveWindowFocusReason);
}

void MidiLearnDialog::hideEvent(QHideEvent *event)
{
    m_lookAtInput->stop();
    QDialog::hideEvent(event);
}

void MidiLearnDialog::enableForget()
{
    // Only what the user taught can be forgotten.
    const int row = m_table->currentRow();
    m_forget->setEnabled(row >= 0 && m_table->item(row, 2)->data(kTaughtRole).toBool());
}

void MidiLearnDialog::showInput()
{
    const MidiInput::Heard heard = m_pads.heard ? m_pads.heard() : MidiInput::Heard::Nowhere;
    if (heard == MidiInput::Heard::Nowhere) {
        m_input->setText(QStringLiteral("Nessun ingresso MIDI: PipeWire non risponde e il sistema non ha il "
                                        "sequencer ALSA, quindi nessun pad può essere sentito. Avvia il server "
                                        "audio o collega il pad: Tamvolo lo cerca di nuovo ogni secondo."));
    } else if (heard == MidiInput::Heard::Looking) {
        m_input->setText(QStringLiteral("Cerco l'ingresso MIDI…"));
    }
    const bool missing = heard == MidiInput::Heard::Nowhere || heard == MidiInput::Heard::Looking;
    if (m_input->isVisibleTo(this) != missing) {
        m_input->setVisible(missing);
        WindowPlacement::growWithText(*this);
    }
}

void MidiLearnDialog::showMap()
{
    const DrumMap map = m_pads.map ? m_pads.map() : DrumMap();
    const int current = m_table->currentRow() >= 0 ? m_table->item(m_table->currentRow(), 0)->data(kNoteRole).toInt()
                                                   : (m_note >= 0 ? m_note : -1);
    m_table->setRowCount(0);
    for (int note = 0; note < 128; ++note) {
        const std::uint8_t key = map.keyFor(std::uint8_t(note));
        if (key == 0)
            continue;
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        auto *number = new QTableWidgetItem(QString::number(note));
        number->setData(kNoteRole, note);
        m_table->setItem(row, 0, number);
        m_table->setItem(row, 1, new QTableWidgetItem(KeyWords::sound(key)));
        const bool taught = map.taught(std::uint8_t(note));
        auto *from = new QTableWidgetItem(taught ? QStringLiteral("assegnato da te") : QStringLiteral("General MIDI"));
        from->setData(kTaughtRole, taught);
        m_table->setItem(row, 2, from);
        if (note == current)
            m_table->setCurrentCell(row, 0);
    }
    enableForget();
}

void MidiLearnDialog::say(const QString &text)
{
    m_text->setText(text);
    WindowPlacement::growWithText(*this);
    Spoken::describe(m_table, text); // the table has the focus
}

void MidiLearnDialog::noteHeard(std::uint8_t note)
{
    m_note = note;
    for (int row = 0; row < m_table->rowCount(); ++row)
        if (m_table->item(row, 0)->data(kNoteRole).toInt() == note)
            m_table->setCurrentCell(row, 0);
    say(QStringLiteral("Pad della nota %1: ora premi il tasto del suono che deve suonare (V, B, J…).").arg(note));
}

void MidiLearnDialog::mapWritten(const MidiPlayer::MapWritten &written)
{
    if (m_taught < 0)
        return;
    const QString path = QString::fromStdString(written.file);
    const QString kept = m_taughtKey.isEmpty()
        ? QStringLiteral("Il pad nota %1 suona come nella mappa General MIDI finché Tamvolo resta aperto.")
              .arg(m_taught)
        : QStringLiteral("Il pad nota %1 suona come il tasto «%2» finché Tamvolo resta aperto.")
              .arg(m_taught)
              .arg(m_taughtKey);
    if (written.unreadable)
        say(QStringLiteral("Impossibile salvare la mappa MIDI: il file che c'è non si può leggere, e l'ho lasciato "
                           "com'era.\n%1\n%2")
                .arg(path, kept));
    else if (written.result != CarefulWriter::Result::Written)
        say(FileMessages::notWritten(QStringLiteral("Impossibile salvare la mappa MIDI"), path, written.result) +
            QLatin1Char('\n') + kept);
    m_taught = -1;
}

bool MidiLearnDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress)
        return keyPressed(static_cast<const QKeyEvent &>(*event));
    return QDialog::eventFilter(watched, event);
}

void MidiLearnDialog::keyPressEvent(QKeyEvent *event)
{
    if (!keyPressed(*event))
        QDialog::keyPressEvent(event);
}

bool MidiLearnDialog::keyPressed(const QKeyEvent &event)
{
    const int pressed = event.key();
    if (m_note < 0 || pressed == Qt::Key_Escape || pressed == Qt::Key_Tab || pressed == Qt::Key_Backtab ||
        (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false; // moving in the table, or closing
    const QString text = event.text();
    if (text.isEmpty() && pressed != Qt::Key_Return && pressed != Qt::Key_Enter)
        return false; // arrows, Page Up...
    const auto code = text.size() == 1 ? Cp1252::fromUnicode(text.front().unicode()) : std::nullopt;
    const std::uint8_t key = code ? Cp1252::toUpper(*code) : 0;
    if (key == 0 || PadTable::lookup(key).empty()) {
        say(QStringLiteral("Il tasto %1 non ha un suono: premine un altro.").arg(KeyWords::ofPress(event)));
        return true;
    }
    if (m_pads.teach)
        m_pads.teach(std::uint8_t(m_note), key);
    m_taught = m_note;
    m_taughtKey = KeyWords::ofKey(key);
    showMap();
    say(QStringLiteral("Fatto: il pad nota %1 ora suona come il tasto «%2». Colpisci un altro pad, oppure premi "
                       "Esc per chiudere.")
            .arg(m_note)
            .arg(m_taughtKey));
    m_note = -1;
    return true;
}
