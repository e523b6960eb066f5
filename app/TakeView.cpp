#include "app/TakeView.h"

#include "app/Spoken.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The least a take keeps: 10 ms.
constexpr std::size_t kLeastFrames = std::size_t(TakeEditor::kRate / 100);

} // namespace

QString TakeView::secondsText(double seconds, int decimals)
{
    return QLocale(QLocale::Italian).toString(seconds, 'f', decimals);
}

TakeView::TakeView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("takeView"));
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QStringLiteral("Forma d'onda della registrazione"));
    setToolTip(QStringLiteral("Trascina le maniglie per scegliere che cosa tenere; da tastiera: Home l'inizio, Fine "
                              "la fine, frecce per spostarla"));
    setMinimumHeight(60);
}

QSize TakeView::sizeHint() const
{
    return {360, 80};
}

void TakeView::setTake(std::vector<float> take, TakeEditor::Span kept)
{
    m_take = std::move(take);
    m_kept = {std::min(kept.begin, m_take.size()), std::min(kept.end, m_take.size())};
    m_movingStart = true;
    describe();
    update();
}

double TakeView::xOf(std::size_t frame) const
{
    return m_take.empty() ? 0.0 : double(frame) * width() / double(m_take.size());
}

std::size_t TakeView::frameAt(double x) const
{
    const double at = std::clamp(x / std::max(1, width()), 0.0, 1.0);
    return std::size_t(std::lround(at * double(m_take.size())));
}

void TakeView::move(bool start, std::size_t frame)
{
    TakeEditor::Span kept = m_kept;
    if (start)
        kept.begin = std::min(frame, kept.end > kLeastFrames ? kept.end - kLeastFrames : 0);
    else
        kept.end = std::clamp(frame, std::min(kept.begin + kLeastFrames, m_take.size()), m_take.size());
    if (kept == m_kept)
        return;
    m_kept = kept;
    describe();
    update();
    emit keptChanged(m_kept);
}

void TakeView::describe()
{
    Spoken::describe(this,
                     m_take.empty()
                         ? QStringLiteral("Nessuna registrazione")
                         : QStringLiteral("Tiene da %1 s a %2 s di %3 s; muovi %4")
                               .arg(framesText(m_kept.begin), framesText(m_kept.end), framesText(m_take.size()),
                                    m_movingStart ? QStringLiteral("l'inizio") : QStringLiteral("la fine")));
}

void TakeView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &colours = palette();
    painter.fillRect(rect(), colours.color(QPalette::Base));
    if (m_take.empty())
        return;
    // Each column shows the loudest frames it covers.
    const double middle = height() / 2.0;
    painter.setPen(colours.color(QPalette::Text));
    for (int x = 0; x < width(); ++x) {
        const std::size_t from = frameAt(x);
        const std::size_t to = std::max(from + 1, frameAt(x + 1));
        float low = 0.0f, high = 0.0f;
        for (std::size_t i = from; i < std::min(to, m_take.size()); ++i) {
            low = std::min(low, m_take[i]);
            high = std::max(high, m_take[i]);
        }
        painter.drawLine(QPointF(x + 0.5, middle - double(high) * middle),
                         QPointF(x + 0.5, middle - double(low) * middle));
    }
    // What is trimmed away, shaded; the handles in the highlight colour.
    QColor shade = colours.color(QPalette::Window);
    shade.setAlpha(170);
    painter.fillRect(QRectF(0, 0, xOf(m_kept.begin), height()), shade);
    painter.fillRect(QRectF(xOf(m_kept.end), 0, width() - xOf(m_kept.end), height()), shade);
    for (const bool start : {true, false}) {
        const double x = xOf(start ? m_kept.begin : m_kept.end);
        QPen pen(colours.color(QPalette::Highlight), hasFocus() && start == m_movingStart ? 3 : 2);
        painter.setPen(pen);
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
}

void TakeView::mousePressEvent(QMouseEvent *event)
{
    if (m_take.empty() || event->button() != Qt::LeftButton)
        return;
    const double x = event->position().x();
    m_movingStart = std::abs(x - xOf(m_kept.begin)) <= std::abs(x - xOf(m_kept.end));
    m_dragging = true;
    move(m_movingStart, frameAt(x));
}

void TakeView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        move(m_movingStart, frameAt(event->position().x()));
}

void TakeView::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
}

void TakeView::keyPressEvent(QKeyEvent *event)
{
    if (m_take.empty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    const std::size_t step = std::size_t(TakeEditor::kRate) *
        std::size_t(event->modifiers() & Qt::ControlModifier ? kBigStepMs : kStepMs) / 1000;
    const std::size_t at = m_movingStart ? m_kept.begin : m_kept.end;
    switch (event->key()) {
    case Qt::Key_Home:
        m_movingStart = true;
        describe();
        update();
        break;
    case Qt::Key_End:
        m_movingStart = false;
        describe();
        update();
        break;
    case Qt::Key_Left:
        move(m_movingStart, at > step ? at - step : 0);
        break;
    case Qt::Key_Right:
        move(m_movingStart, at + step);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
