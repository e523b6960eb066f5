#pragma once

#include <QColor>
#include <QPalette>
#include <QPushButton>

#include <map>

// A button drawn in a background colour that can change at run time, its
// text in a colour readable on it.
//
// The style caches its drawings of buttons by palette. Giving the button a
// new palette at every change would add the same drawings to that cache over
// and over (the cache only stops at 10 MB), so each colour gets one palette,
// kept for the life of the button, and painting uses it.
class ColourButton : public QPushButton
{
    Q_OBJECT

public:
    ColourButton(const QString &text, QWidget *parent);

    void setBackColour(const QColor &colour);
    QColor backColour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
    std::map<QRgb, QPalette> m_palettes;
};
