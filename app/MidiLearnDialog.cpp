#include "app/MidiLearnDialog.h"

#include "keys/Cp1252.h"
#include "keys/PadTable.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MidiLearnDialog::MidiLearnDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("midiLearn"));
    setWindowTitle(QStringLiteral("Tamvolo — pad MIDI"));
    auto *layout = new QVBoxLayout(this);
    m_text = new QLabel(QStringLiteral("Colpisci il pad che vuoi insegnare."), this);
    m_text->setObjectName(QStringLiteral("midiLearnText"));
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(320);
    layout->addWidget(m_text);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *close = buttons->addButton(QStringLiteral("Chiudi"), QDialogButtonBox::RejectRole);
    close->setFocusPolicy(Qt::NoFocus); // every key chooses a sound
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void MidiLearnDialog::noteHeard(std::uint8_t note)
{
    m_note = note;
    m_text->setText(
        QStringLiteral("Pad della nota %1. Ora premi il tasto del suono che deve suonare (V, B, J…).").arg(note));
}

void MidiLearnDialog::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    if (event->key() == Qt::Key_Escape || text.size() != 1 || m_note < 0) {
        QDialog::keyPressEvent(event);
        return;
    }
    const auto code = Cp1252::fromUnicode(text.front().unicode());
    const std::uint8_t key = code ? Cp1252::toUpper(*code) : 0;
    const QString shown = QChar(Cp1252::toUnicode(key).value_or(text.front().unicode()));
    if (key == 0 || PadTable::lookup(key).empty()) {
        m_text->setText(QStringLiteral("Il tasto «%1» non ha un suono: premine un altro.").arg(text));
        return;
    }
    emit taught(std::uint8_t(m_note), key);
    m_text->setText(QStringLiteral("Il pad della nota %1 suona ora il suono del tasto «%2». Colpisci un altro pad "
                                   "per insegnarlo, o chiudi.")
                        .arg(m_note)
                        .arg(shown));
    m_note = -1;
}
