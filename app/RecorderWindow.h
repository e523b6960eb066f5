#pragma once

#include "app/Platform.h"
#include "audio/inputs/AudioInput.h"
#include "sound/KeyTake.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class SoundSink;
class QLabel;
class QProgressBar;
class TakeView;
class QPushButton;
class QTimer;

// Tamvolo's own sound recorder: records a take from the default input and
// saves it, edited (TakeEditor), as the sample of one key in the user's
// sample folder, where it wins over the program's sample from the next key
// press on. The take and what is done with its files are KeyTake's; the
// window lays out, asks and words.
//
// The user presses the key whose sound is to be replaced (the pad table
// names the file; keys with no sample, or with two, are refused), and the
// level meter shows the input from then on, while the window is open; then
// "Registra" and "Ferma" (at most AudioInput::kMaxSeconds), "Ascolta" to hear
// the take through the program's one voice ("Ferma" stops that too), "Salva"
// to keep it, "Ripristina" to remove the user's file so that the program's
// sample plays again (greyed where there is none). Keys that share the
// sample (the digits, "£") are named: the recording plays for them too.
// Without an input device, or for a take with no sound, it says so.
// Nothing recorded is lost without a question: "Ripristina", "Salva" over an
// earlier recording, another key or "Registra" while a take is unsaved ask
// first, "No" the default; ending the program offers to save it first.
//
// From the keyboard: Tab reaches the buttons (during a take the focus is on
// "Ferma"), Enter presses the one with the focus, Escape closes the window;
// any other key, Space too, chooses a sample.
class RecorderWindow : public QWidget
{
    Q_OBJECT

public:
    // `userFolder` tells the user's sample folder (empty: there is none).
    // `ask` puts the questions; `choose` the one at the program's end
    // ("Salva", "Scarta", "Annulla"; without it, `ask`'s yes or no).
    RecorderWindow(SoundSink &sound, std::function<std::string()> userFolder, Platform::Ask ask,
                   QWidget *parent = nullptr, Platform::Choose choose = {});
    ~RecorderWindow() override;

    // Shows it beside `window`: on its right where the screen has room, else
    // on its left (over the drums rather than the pattern field); raised and
    // active.
    void showBeside(const QWidget &window);

    // The key chosen, as Windows-1252 code, and its sample file name.
    void chooseKey(std::uint8_t code);
    QString fileName() const { return m_take.file(); }
    QString status() const;

    void record();
    void stop();
    void listen();
    void save();
    void restore();

    // The program may end: no unsaved take, or the user saves it or lets it
    // go; "Annulla" shows the recorder with the take.
    bool mayEnd();

    // The program ends where nobody can be asked (a signal, the desktop's
    // logout): an unsaved take is kept beside the user's sample folder, as
    // "ripresa-non-salvata-CODE.wav". False where there was none or it
    // could not be written.
    bool keepUnsavedTake();
    // The next start: a take kept so is back as the unsaved take of its key,
    // said in the status line, and its file is gone (the take is the
    // window's again, asked about like any other). False where none waits.
    bool offerKeptTake();
    // Whether a kept take waits in the user's sample folder `userFolder`.
    static bool keptTakeWaits(const std::string &userFolder);

signals:
    // The window was closed (by its owner, Escape, or the window manager).
    void closed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void showLevel();
    // The input opened for the level meter, where it opens.
    void listenToInput();
    void closeInput();
    void finishTake(bool lost);
    // The take's length, as it will play, in the time label.
    void showTakeLength();
    void say(const QString &text);
    void updateButtons();
    bool mayDropTake();
    // The key chosen and its take, shown.
    void showKey();

    SoundSink &m_sound;
    Platform::Ask m_ask;
    Platform::Choose m_choose;
    KeyTake m_take;
    AudioInput m_input;
    QString m_key;              // the key chosen, as the window names it
    TakeView *m_view = nullptr; // the take as recorded, and the part kept

    QLabel *m_keyLabel = nullptr;
    QProgressBar *m_meter = nullptr;
    QLabel *m_time = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_record = nullptr;
    QPushButton *m_stop = nullptr;
    QPushButton *m_listen = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_restore = nullptr;
    QTimer *m_meterTimer = nullptr;
    QTimer *m_listenTimer = nullptr; // active while "Ascolta" plays
};
