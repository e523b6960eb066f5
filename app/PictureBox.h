#pragma once

#include <QWidget>

class QSvgRenderer;

// A still picture drawn from an SVG file: stretched to the control, or at the
// picture's own size from the top-left corner. Transparent where the picture
// is. Drawn fresh at every paint, so it stays sharp at any device pixel ratio.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    enum class Fit { Stretch, NaturalSize };

    PictureBox(const QString &svgPath, Fit fit, QWidget *parent);

    // The picture's own size, from its SVG.
    QSize pictureSize() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSvgRenderer *m_renderer;
    Fit m_fit;
};
