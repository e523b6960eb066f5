#include "app/ColourButton.h"

#include "app/Contrast.h"

#include <QStyleOptionButton>
#include <QStylePainter>

ColourButton::ColourButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
    setBackColour(palette().color(QPalette::Button));
}

void ColourButton::setBackColour(const QColor &colour)
{
    m_colour = colour;
    auto [it, added] = m_palettes.try_emplace(colour.rgba(), palette());
    if (added) {
        // A background fixed here fixes the text too: the theme's where it
        // reads on it (a dark theme's white does not on light grey).
        it->second.setColor(QPalette::Button, colour);
        it->second.setColor(QPalette::ButtonText, Contrast::readableOn(colour, palette().color(QPalette::ButtonText)));
    }
    update();
}

void ColourButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.palette = m_palettes.at(m_colour.rgba());
    painter.drawControl(QStyle::CE_PushButton, option);
}
