#pragma once

#include <QColor>
#include <QWidget>

// An oval or a rectangle drawn on its container: an outline of a given colour
// and width, filled or not. It takes no mouse input: the pointer's events go
// to whatever lies beneath.
class ShapeControl : public QWidget
{
    Q_OBJECT

public:
    enum class Kind { Oval, Rectangle };

    ShapeControl(Kind kind, const QColor &border, int borderWidth, QWidget *parent);

    void setFill(const QColor &fill);

    Kind kind() const { return m_kind; }
    QColor border() const { return m_border; }
    QColor fill() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Kind m_kind;
    QColor m_border;
    int m_borderWidth;
    QColor m_fill = Qt::transparent;
};
