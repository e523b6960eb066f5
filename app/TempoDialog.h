#pragma once

#include "keys/Tempo.h"
#include "sequencer/TapTempo.h"

#include <QDialog>

class QLabel;
class QSpinBox;

// "Tempo": the loop's steps a minute (with what they mean: the step's
// length, and the beats a minute with the step a sixteenth), a tap-tempo
// button, the swing, and the default back. Each change is told at once
// (changed()); the loop takes it at its next step.
class TempoDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TempoDialog(const Tempo &tempo, QWidget *parent = nullptr);

    Tempo tempo() const;

signals:
    void changed(const Tempo &tempo);

private:
    void showTempo(const Tempo &tempo);
    // What the tempo means, under it.
    void describe();
    void tell();

    QSpinBox *m_steps = nullptr;
    QSpinBox *m_swing = nullptr;
    QLabel *m_means = nullptr;
    TapTempo m_taps;
};
