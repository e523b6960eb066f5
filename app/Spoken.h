#pragma once

class QString;
class QWidget;

// What a screen reader is to say of a change a sighted user sees elsewhere
// (a status line, a button's colour): readers speak the focused control's
// name and description, and what changes in them, not the text of a label
// without the focus.
namespace Spoken {

// Gives `w` the description `text` and tells the accessibility bridge it
// changed. The UI thread.
void describe(QWidget *w, const QString &text);

} // namespace Spoken
