#include "app/LineControl.h"

#include <QPainter>

LineControl::LineControl(QPoint from, QPoint to, const QColor &color, int width, QWidget *parent)
    : QWidget(parent)
    , m_line(from, to)
    , m_color(color)
    , m_width(width)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    // The widget covers the line and its width.
    const int margin = width;
    setGeometry(QRect(from, to).normalized().adjusted(-margin, -margin, margin, margin));
}

void LineControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_color, m_width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(m_line.translated(-pos()));
}
