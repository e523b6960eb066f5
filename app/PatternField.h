#pragma once

#include <QLineEdit>
#include <QList>

#include <cstdint>
#include <functional>

// A single-line text box with a key hook: every character typed into it,
// whether by a key or committed by an input method (dead keys, compose), is
// first handed to the hook as a Windows-1252 code, by reference, before the
// box applies it; the box then applies the code the hook left. Characters
// outside Windows-1252 reach the hook, and the box, as "?" (63).
// Keys that type no character (Delete, arrows, Home...) do not run the hook;
// Backspace (8), Enter (13), Escape (27) and Ctrl with a letter (1-26) do,
// and the box then does what it always does with them.
//
// Its context menu is Qt's standard one followed by the actions the window
// gives it (setMenuActions()).
//
// While the loop plays, the cell of the character whose step is sounding is
// shown inverted, the text where it was (setSoundingStep()).
class PatternField : public QLineEdit
{
    Q_OBJECT

public:
    // A key typed, before it is applied, with the time it was pressed on
    // the hook's clock: by the window system's time stamp, however late the
    // event comes (the time of the event where there is none, as for input
    // methods).
    using KeyPressHook = std::function<void(short &keyAscii, std::int64_t pressedNs)>;
    using Clock = std::function<std::int64_t()>;

    explicit PatternField(QWidget *parent);

    void setKeyPressHook(KeyPressHook hook, Clock nowNs);

    // Actions shown after the standard ones in the context menu; not owned.
    void setMenuActions(QList<QAction *> actions);
    // The context menu as it pops up; the caller owns it.
    QMenu *createContextMenu();

    // Marks the character of step `step` (1 to 7) as sounding; 0 clears the
    // mark. A step past the text marks where its character would be.
    void setSoundingStep(int step);
    int soundingStep() const { return m_soundingStep; }
    // The cell of step `step`'s character, which its mark inverts, in the
    // field's coordinates.
    QRect markRect(int step) const;

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Runs the hook on every character of `typed`, pressed `ageNs` ago,
    // returning what to apply.
    QString filter(const QString &typed, std::int64_t ageNs);

    KeyPressHook m_hook;
    Clock m_now;
    QList<QAction *> m_menuActions;
    int m_soundingStep = 0;
};
