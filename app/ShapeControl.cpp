#include "app/ShapeControl.h"

#include <QPainter>

ShapeControl::ShapeControl(Kind kind, const QColor &border, int borderWidth, QWidget *parent)
    : QWidget(parent)
    , m_kind(kind)
    , m_border(border)
    , m_borderWidth(borderWidth)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ShapeControl::setFill(const QColor &fill)
{
    m_fill = fill;
    update();
}

void ShapeControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, m_kind == Kind::Oval);
    QPen pen(m_border, m_borderWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(m_fill.alpha() ? QBrush(m_fill) : Qt::NoBrush);
    const qreal half = m_borderWidth / 2.0;
    const QRectF inside = QRectF(rect()).adjusted(half, half, -half, -half);
    if (m_kind == Kind::Oval)
        painter.drawEllipse(inside);
    else
        painter.drawRect(inside);
}
