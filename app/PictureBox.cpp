#include "app/PictureBox.h"

#include "app/Twips.h"

#include <QMouseEvent>
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

namespace {

int shiftOf(const QMouseEvent *event)
{
    const auto mods = event->modifiers();
    return (mods & Qt::ShiftModifier ? 1 : 0) | (mods & Qt::ControlModifier ? 2 : 0) | (mods & Qt::AltModifier ? 4 : 0);
}

float twipsOf(qreal pixels)
{
    return float(pixels * Twips::kPerPixel);
}

} // namespace

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    emit mouseDown(int(event->button()), shiftOf(event), twipsOf(event->position().x()),
                   twipsOf(event->position().y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMove(int(event->buttons()), shiftOf(event), twipsOf(event->position().x()),
                   twipsOf(event->position().y()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseUp(int(event->button()), shiftOf(event), twipsOf(event->position().x()), twipsOf(event->position().y()));
}
