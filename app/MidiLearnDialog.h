#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;

// Teaches a MIDI pad a sound: the user hits the pad, then presses the key
// whose sound it is to play (a key with a sample of the pad table); the pad
// plays it from then on (taught()). Escape or "Chiudi" closes it; another
// hit starts over with that pad.
class MidiLearnDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MidiLearnDialog(QWidget *parent = nullptr);

    // A note came from the MIDI input (the UI thread).
    void noteHeard(std::uint8_t note);

signals:
    // Note `note` is to play the sound of `key` (an upper-case
    // Windows-1252 code with a pad row).
    void taught(std::uint8_t note, std::uint8_t key);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *m_text = nullptr;
    int m_note = -1;
};
