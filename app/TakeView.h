#pragma once

#include "sound/TakeEditor.h"

#include <QWidget>

#include <vector>

// A take's waveform, as recorded, with the part kept between two handles
// and the part trimmed away shaded. The handles move with the mouse (drag
// one), and from the keyboard: Home takes the start, End the end, Left and
// Right move it 10 ms (with Ctrl 100 ms). A screen reader hears where each
// handle is.
class TakeView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kStepMs = 10;
    static constexpr int kBigStepMs = 100;

    explicit TakeView(QWidget *parent = nullptr);

    // A length of sound as the recorder says it: "1,15" (Italian decimals).
    static QString secondsText(double seconds, int decimals = 2);
    static QString framesText(std::size_t frames, int decimals = 2)
    {
        return secondsText(double(frames) / TakeEditor::kRate, decimals);
    }

    // A new take (empty: none), with the part kept.
    void setTake(std::vector<float> take, TakeEditor::Span kept);
    const std::vector<float> &take() const { return m_take; }
    TakeEditor::Span kept() const { return m_kept; }

    QSize sizeHint() const override;

signals:
    // The user moved a handle.
    void keptChanged(TakeEditor::Span kept);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    double xOf(std::size_t frame) const;
    std::size_t frameAt(double x) const;
    // Moves the start (or the end) to `frame`, within the take and never
    // past the other handle; told where it changed.
    void move(bool start, std::size_t frame);
    void describe();

    std::vector<float> m_take;
    TakeEditor::Span m_kept;
    bool m_movingStart = true; // the handle the keys move
    bool m_dragging = false;
};
