#pragma once

#include "app/MidiLearnDialog.h"
#include "app/PadLights.h"
#include "app/Platform.h"
#include "keys/DrumKeys.h"
#include "keys/Tempo.h"
#include "sound/KitLoader.h"
#include "sound/SoundSink.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class ColourButton;
class LineControl;
class KitChooser;
class KitSounds;
class MultiLineTextBox;
class PatternField;
class PatternFileActions;
class PictureBox;
class RecorderWindow;
class LoopController;
class TempoDialog;
class ShapeControl;
class TrayRestorer;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// The main window: the drum picture with its pad lights on the left, the side
// panel with the pattern field and the buttons on the right. Every control
// carries its name as object name; every handler is named after its control
// and event. The handlers are in Form1.cpp; the controls, their places and
// the connections in Form1Design.cpp.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidthTwips = 11880;
    static constexpr int kHeightTwips = 7065;

    // Every sound goes to `sound` (the sample bank), which must outlive the
    // window. `platform` answers the version query and starts programs; with
    // `trayAvailable` the window has no taskbar button and shows a tray icon
    // while minimised, without it the window keeps its taskbar button.
    explicit Form1(SoundSink &sound, Platform platform = Platform::system(),
                   bool trayAvailable = defaultTrayAvailable(), QWidget *parent = nullptr);
    ~Form1() override;

    static bool defaultTrayAvailable();

    // Start-up: outline, play button, recorder button. Runs once, after the
    // window is created and before it is first shown.
    void Form_Load();
    // Gives the window its rounded outline.
    void Rounded();

    // Key press of the pattern field, before the field applies the key;
    // `pressedNs`, on the sound's clock, is when the key went down.
    void Text1_KeyPress(short &KeyAscii, std::int64_t pressedNs);

    // Loads the pattern field from a pattern file; false, and the field as
    // it was, when the file cannot be read.
    bool OpenFile(const QString &Filename);
    // The same for a name as the system gives it, byte for byte.
    bool OpenFile(const QByteArray &Filename);
    // Saves the pattern field to a pattern file; false, and any existing
    // file as it was, when it cannot be written.
    bool CloseFile(const QString &Filename);

    // Places the window in the middle of its screen.
    void centreOnScreen();

    // A MIDI input plays through the program: the pattern field's menu
    // opens the "Pad MIDI" dialog, which shows and changes `pads`' map.
    void setMidi(MidiLearnDialog::Pads pads);
    // How a write of the MIDI map went (the UI thread): said in the dialog
    // where it failed.
    void midiMapWritten(const MidiPlayer::MapWritten &written);
    // A note came from the MIDI input, playing the sound of `key` (0:
    // none): the drum lights as for a key; the pattern is left as it is.
    void midiNote(std::uint8_t note, std::uint8_t key);
    // The loop's tempo is kept in `file` (a settings file, Tempo's text):
    // read now, written when the "Tempo" dialog closes.
    void useTempoFile(const std::string &file);
    const Tempo &tempo() const;

    // Kits can be chosen: the pattern field's menu opens the chooser, whose
    // loads go to `loader`; `playing` tells the kit that plays.
    void setKits(KitLoader &loader, std::function<std::shared_ptr<const KitSounds>()> playing);
    // What the kit loader told (the UI thread).
    void kitTold(const KitLoader::Told &told);
    // Loads the kit of a file opened or dropped (KitCatalog::isKitFile()),
    // in the chooser, which shows how it went.
    void openKit(const QString &path);

    // Opens a pattern file chosen outside the menu (dropped on the window,
    // named on the command line); says so when it cannot.
    void openPattern(const QString &path);
    void openPattern(const QByteArray &nativePath);

    // The program ends where nobody can be asked (a signal, the desktop's
    // logout): the recorder's unsaved take is kept for the next start.
    void keepUnsavedTake();
    // The desktop asks whether the program may end (its logout): as
    // "Chiudi" asks, only while the recorder holds an unsaved take.
    bool mayEnd();
    // At start: a take kept so opens in the recorder, beside the window.
    void offerKeptTake();

public slots:
    void Timer1_Timer();

    // Dragging the window by the drum picture.
    void Image1_MouseDown(int Button, int Shift, float X, float Y);
    void Image1_MouseMove(int Button, int Shift, float X, float Y);
    void Image1_MouseUp(int Button, int Shift, float X, float Y);

    // Help panel.
    void Label2_MouseMove(int Button, int Shift, float X, float Y);
    void Frame1_MouseMove(int Button, int Shift, float X, float Y);
    void Text1_MouseMove(int Button, int Shift, float X, float Y);

    // Window buttons and the sound recorder.
    void cmdRiduci_Click();
    void cmdChiudi_Click();
    void Command6_Click();
    void Command7_Click();

    // The loop: start, stop, and the seven steps.
    void Command2_Click();
    void CmdCance_Click();
    void cmdFerma_Click();
    // Step 1 (Timer2) to 7 (Timer9) is due for `beatNs` on the sound's clock.
    void Timer2_Timer(std::int64_t beatNs);
    void Timer3_Timer(std::int64_t beatNs);
    void Timer5_Timer(std::int64_t beatNs);
    void Timer6_Timer(std::int64_t beatNs);
    void Timer7_Timer(std::int64_t beatNs);
    void Timer8_Timer(std::int64_t beatNs);
    void Timer9_Timer(std::int64_t beatNs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Plays the sample `name` for the time `stampNs` of the sound clock.
    void PlaySample(std::string_view name, std::int64_t stampNs);
    void chooseRecorder();
    void startRecorder(const QString &path);
    RecorderWindow &recorder();
    void createDrumPicture();
    void createSidePanel();
    void createTimers();
    void connectEvents();
    void setTabOrder();
    // Names and descriptions a screen reader speaks.
    void nameForScreenReaders();
    // Esegui and Ferma show whether the loop plays, by their colours and to
    // a screen reader.
    void showPlaying();
    // Lights the drum `key` stands for, if any, until Timer1 ticks.
    void lightPad(std::uint8_t key);
    void learnMidiPad();
    void chooseTempo();
    void chooseKit();
    // The pattern field's menu: the file actions, then `action`.
    void addMenuAction(QAction *action);

    // Drum picture and pad lights.
    PictureBox *Image1 = nullptr;
    ShapeControl *Shape1 = nullptr;
    LineControl *Line1 = nullptr;
    LineControl *Line2 = nullptr;
    PictureBox *Image2 = nullptr;
    PictureBox *Image3 = nullptr;
    PictureBox *Image4 = nullptr;
    PictureBox *Image5 = nullptr;

    // Side panel.
    QLineEdit *Text3 = nullptr;
    QFrame *Frame1 = nullptr;
    QLabel *Label2 = nullptr;
    ShapeControl *Shape3 = nullptr;
    ShapeControl *Shape2 = nullptr;
    PictureBox *Image6 = nullptr;
    QPushButton *CmdCance = nullptr;
    PatternField *Text1 = nullptr;
    ColourButton *Command2 = nullptr;
    ColourButton *cmdFerma = nullptr;
    MultiLineTextBox *Text2 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command7 = nullptr;
    QPushButton *cmdRiduci = nullptr;
    QPushButton *cmdChiudi = nullptr;

    // Timers.
    QTimer *Timer1 = nullptr;
    // The loop: the seven steps (Timer2 ... Timer9) on one clock.
    std::unique_ptr<LoopController> m_loop;

    // Drag state.
    bool Dragging = false;
    float DragX = 0;
    float DragY = 0;

    SoundSink &m_sound;
    Platform m_platform;
    // Composited: the window paints its white, rounded outline itself,
    // anti-aliased, on a transparent background.
    bool m_smoothOutline = false;
    TrayRestorer *m_tray = nullptr;
    PatternFileActions *m_fileActions = nullptr;
    RecorderWindow *m_recorder = nullptr;
    MidiLearnDialog::Pads m_midiPads;
    std::string m_tempoFile;
    TempoDialog *m_tempoDialog = nullptr;
    MidiLearnDialog *m_midiLearn = nullptr;
    QList<QAction *> m_menuExtras;
    KitLoader *m_kits = nullptr;
    std::function<std::shared_ptr<const KitSounds>()> m_playingKit;
    KitChooser *m_kitChooser = nullptr;

    PadLights m_padLights;
};
