#include "app/KeyWords.h"

#include "keys/Cp1252.h"
#include "keys/DrumKeys.h"

#include <QKeyEvent>
#include <QKeySequence>

QString KeyWords::ofKey(std::uint8_t key)
{
    return key == ' ' ? QStringLiteral("spazio") : QString(QChar(char16_t(Cp1252::decodeByte(key))));
}

QString KeyWords::ofPress(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("Invio");
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return QStringLiteral("Tab");
    case Qt::Key_Backspace:
        return QStringLiteral("Backspace");
    case Qt::Key_Delete:
        return QStringLiteral("Canc");
    case Qt::Key_Escape:
        return QStringLiteral("Esc");
    case Qt::Key_Space:
        return QStringLiteral("spazio");
    default:
        break;
    }
    const QString text = event.text();
    if (text.size() == 1 && text.front().isPrint())
        return QStringLiteral("«%1»").arg(text);
    return QKeySequence(event.key()).toString(QKeySequence::NativeText);
}

QString KeyWords::sound(std::uint8_t key)
{
    if (const auto light = DrumKeys::padLightFor(key))
        return QStringLiteral("%1 (%2)").arg(QLatin1String(DrumKeys::drumName(*light)), ofKey(key));
    return QStringLiteral("tasto «%1»").arg(ofKey(key));
}
