#pragma once

#include "keys/DrumMap.h"
#include "sound/MidiPlayer.h"

#include <QDialog>

#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

// "Pad MIDI": what each MIDI note plays (a table of the notes with a sound:
// the drum and its key, taught by the user or the General MIDI map's), and
// teaching a pad a sound: the user hits the pad (its row lights), then
// presses the key whose sound it is to play (a key with a sample of the pad
// table); the pad plays it from then on. A pad chosen in the table can be
// forgotten, and the whole map taken back to General MIDI. Without a MIDI
// input it says so, and why, instead of waiting for a hit.
//
// Keys choose sounds while the table (or no control) has the focus; Tab moves it to the
// buttons, where Space presses them; Escape or "Chiudi" closes it.
class MidiLearnDialog : public QDialog
{
    Q_OBJECT

public:
    // What the dialog asks of the MIDI player; none of them blocks.
    struct Pads
    {
        std::function<void(std::uint8_t note, std::uint8_t key)> teach; // key 0: the General MIDI map's
        std::function<void()> forgetAll;
        std::function<DrumMap()> map;
        std::function<MidiInput::Heard()> heard;
    };

    explicit MidiLearnDialog(Pads pads, QWidget *parent = nullptr);

    // A note came from the MIDI input (the UI thread).
    void noteHeard(std::uint8_t note);
    // How the write of the map went (the UI thread).
    void mapWritten(const MidiPlayer::MapWritten &written);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // A key pressed with the table focused; true where it was taken.
    bool keyPressed(const QKeyEvent &event);
    void say(const QString &text);
    void showMap();
    void enableForget();
    void showInput();

    Pads m_pads;
    QLabel *m_text = nullptr;
    QLabel *m_input = nullptr;
    QTableWidget *m_table = nullptr;
    QPushButton *m_forget = nullptr;
    QTimer *m_lookAtInput = nullptr;
    int m_note = -1;   // the pad hit, waiting for its key
    int m_taught = -1; // the last note taught, until its write is told
    QString m_taughtKey;
};
