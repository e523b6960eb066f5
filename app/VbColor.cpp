#include "app/VbColor.h"

#include <QApplication>
#include <QPalette>

QColor VbColor::toColor(quint32 value)
{
    if (value & 0x80000000u) {
        // The one system colour the window uses: the style's button face.
        return QApplication::palette().color(QPalette::Button);
    }
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}
