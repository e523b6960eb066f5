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

signals:
    // Mouse events in the window's terms: `button` 1 left, 2 right, 4 middle
    // (for a move, the buttons held); `shift` 1 Shift, 2 Ctrl, 4 Alt; x and y
    // in twips from the picture's top-left corner. While a button is held,
    // moves and the release come here wherever the pointer is.
    void mouseDown(int button, int shift, float x, float y);
    void mouseMove(int button, int shift, float x, float y);
    void mouseUp(int button, int shift, float x, float y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QSvgRenderer *m_renderer;
    Fit m_fit;
};
