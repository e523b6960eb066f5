#include "PictureBox.h"

#include <QPainter>
#include <QSvgRenderer>

PictureBox::PictureBox(const QString &svgPath, Fit fit, QWidget *parent)
    : QWidget(parent)
    , m_renderer(new QSvgRenderer(svgPath, this))
    , m_fit(fit)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

QSize PictureBox::pictureSize() const
{
    return m_renderer->defaultSize();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF target = m_fit == Fit::Stretch ? QRectF(rect()) : QRectF(QPointF(0, 0), pictureSize());
    m_renderer->render(&painter, target);
}
