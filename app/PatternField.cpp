#include "app/PatternField.h"

#include "app/KeyEventAge.h"
#include "audio/core/MonotonicClock.h"
#include "keys/Cp1252.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionFrame>

namespace {

constexpr short kQuestionMark = 63;

} // namespace

PatternField::PatternField(QWidget *parent)
    : QLineEdit(parent)
{}

void PatternField::setKeyPressHook(KeyPressHook hook, Clock nowNs)
{
    m_hook = std::move(hook);
    m_now = std::move(nowNs);
}

void PatternField::setMenuActions(QList<QAction *> actions)
{
    m_menuActions = std::move(actions);
}

bool PatternField::event(QEvent *event)
{
    // The menu's shortcuts (Ctrl+E: export) win over the field's own
    // editing keys (Ctrl+E: to the end of the line).
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QAction *action : std::as_const(m_menuActions))
            if (action->isEnabled() && action->shortcut() == pressed) {
                event->ignore();
                return true;
            }
    }
    return QLineEdit::event(event);
}

QMenu *PatternField::createContextMenu()
{
    QMenu *menu = createStandardContextMenu();
    menu->setObjectName(QStringLiteral("patternMenu"));
    if (!m_menuActions.isEmpty()) {
        menu->addSeparator();
        menu->addActions(m_menuActions);
    }
    return menu;
}

void PatternField::setSoundingStep(int step)
{
    if (step == m_soundingStep)
        return;
    m_soundingStep = step;
    update();
}

QRect PatternField::markRect(int step) const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QFontMetrics metrics(font());
    // Characters start after the line edit's own 2-pixel margin; a step past
    // the text stands where a space would.
    const QString text = this->text();
    const QString before = text.left(step - 1) + QString(std::max(0, step - 1 - int(text.size())), QLatin1Char(' '));
    const QString character = step <= text.size() ? text.mid(step - 1, 1) : QStringLiteral(" ");
    const int left = contents.left() + textMargins().left() + 2 + metrics.horizontalAdvance(before);
    const int width = std::max(2, metrics.horizontalAdvance(character));
    return QRect(left, contents.top(), width, contents.height());
}

void PatternField::paintEvent(QPaintEvent *event)
{
    QLineEdit::paintEvent(event);
    if (m_soundingStep < 1)
        return;
    // The difference with the text's colour: the background takes the
    // text's colour and the character the background's, each pixel where it
    // was drawn.
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.fillRect(markRect(m_soundingStep), palette().color(QPalette::Text));
}

void PatternField::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

QString PatternField::filter(const QString &typed, std::int64_t ageNs)
{
    const std::int64_t pressedNs = (m_now ? m_now() : monotonicNs()) - ageNs;
    QString applied;
    for (const char32_t ch : typed.toUcs4()) {
        const auto code = Cp1252::fromUnicode(ch);
        short keyAscii = code ? short(*code) : kQuestionMark;
        if (m_hook)
            m_hook(keyAscii, pressedNs);
        const auto out = Cp1252::toUnicode(std::uint8_t(keyAscii));
        const char32_t result = out ? *out : U'?';
        applied += QString::fromUcs4(&result, 1);
    }
    return applied;
}

void PatternField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        // The menu key's other name, as every desktop knows it.
        QContextMenuEvent asked(QContextMenuEvent::Keyboard, cursorRect().center(), mapToGlobal(cursorRect().center()));
        contextMenuEvent(&asked);
        return;
    }
    QString text = event->text();
    const bool typesCharacter = !text.isEmpty() && event->key() != Qt::Key_Delete && text != QStringLiteral("\x7f");
    if (!typesCharacter) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Ctrl with a letter types its control code (Ctrl+A is 1), whether or not
    // the platform already put the code into the event's text. Ctrl with Alt
    // is AltGr on some keyboards and types what the key shows.
    const auto mods = event->modifiers();
    const char letter = text.size() == 1 ? text.at(0).toUpper().toLatin1() : '\0';
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && letter >= 'A' && letter <= 'Z')
        text = QChar(letter - 'A' + 1);
    const QString applied = filter(text, KeyEventAge::ns(std::uint32_t(event->timestamp()), monotonicNs()));
    if (applied == text) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QKeyEvent changed(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                      event->nativeVirtualKey(), event->nativeModifiers(), applied, event->isAutoRepeat(),
                      quint16(event->count()));
    QLineEdit::keyPressEvent(&changed);
    event->setAccepted(changed.isAccepted());
}

void PatternField::inputMethodEvent(QInputMethodEvent *event)
{
    if (event->commitString().isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent changed(event->preeditString(), event->attributes());
    changed.setCommitString(filter(event->commitString(), 0), event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&changed);
    event->setAccepted(changed.isAccepted());
}
