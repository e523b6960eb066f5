#pragma once

#include <QColor>
#include <QLine>
#include <QWidget>

// A straight line between two points of its container, of a given colour and
// width. It takes no mouse input.
class LineControl : public QWidget
{
    Q_OBJECT

public:
    // `from` and `to` in the container's pixels.
    LineControl(QPoint from, QPoint to, const QColor &color, int width, QWidget *parent);

    QLine line() const { return m_line; }
    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLine m_line;
    QColor m_color;
    int m_width;
};
