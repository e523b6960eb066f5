#include "app/TempoDialog.h"

#include "app/Spoken.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <chrono>

TempoDialog::TempoDialog(const Tempo &tempo, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("tempo"));
    setWindowTitle(QStringLiteral("Tempo – Tamvolo"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_steps = new QSpinBox(this);
    m_steps->setObjectName(QStringLiteral("tempoSteps"));
    m_steps->setRange(Tempo::kMinStepsPerMinute, Tempo::kMaxStepsPerMinute);
    m_steps->setSuffix(QStringLiteral(" passi al minuto"));
    m_steps->setAccessibleName(QStringLiteral("Passi al minuto"));
    form->addRow(QStringLiteral("&Velocità:"), m_steps);
    m_swing = new QSpinBox(this);
    m_swing->setObjectName(QStringLiteral("tempoSwing"));
    m_swing->setRange(0, Tempo::kMaxSwingPercent);
    m_swing->setSuffix(QStringLiteral(" %"));
    m_swing->setAccessibleName(QStringLiteral("Swing"));
    m_swing->setToolTip(QStringLiteral("Quanto ritardano il 2º, il 4º e il 6º passo, in parte di un passo"));
    form->addRow(QStringLiteral("&Swing:"), m_swing);
    layout->addLayout(form);
    m_means = new QLabel(this);
    m_means->setObjectName(QStringLiteral("tempoMeans"));
    m_means->setWordWrap(true);
    layout->addWidget(m_means);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *tap = buttons->addButton(QStringLiteral("&Tocca il tempo"), QDialogButtonBox::ActionRole);
    tap->setObjectName(QStringLiteral("tempoTap"));
    tap->setToolTip(QStringLiteral("Premilo a ogni passo: il tempo segue i tuoi colpi"));
    tap->setAutoDefault(false);
    QPushButton *reset = buttons->addButton(QStringLiteral("&Predefinito"), QDialogButtonBox::ResetRole);
    reset->setObjectName(QStringLiteral("tempoDefault"));
    reset->setAutoDefault(false);
    buttons->addButton(QStringLiteral("Chiudi"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tap, &QPushButton::clicked, this, [this] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        if (const auto steps = m_taps.tap(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count())) {
            showTempo({*steps, m_swing->value()});
            tell();
        }
    });
    connect(reset, &QPushButton::clicked, this, [this] {
        showTempo(Tempo{});
        tell();
    });
    connect(m_steps, &QSpinBox::valueChanged, this, &TempoDialog::tell);
    connect(m_swing, &QSpinBox::valueChanged, this, &TempoDialog::tell);
    showTempo(tempo);
    describe();
}

Tempo TempoDialog::tempo() const
{
    return {m_steps->value(), m_swing->value()};
}

void TempoDialog::showTempo(const Tempo &tempo)
{
    const QSignalBlocker stepsQuiet(m_steps);
    const QSignalBlocker swingQuiet(m_swing);
    m_steps->setValue(tempo.clamped().stepsPerMinute);
    m_swing->setValue(tempo.clamped().swingPercent);
}

void TempoDialog::tell()
{
    describe();
    emit changed(tempo());
}

void TempoDialog::describe()
{
    const Tempo now = tempo();
    const QString means = QStringLiteral("Un passo ogni %1 ms: %2 BPM, se il passo è un sedicesimo.")
                              .arg(QLocale().toString(double(now.intervalNs()) / 1e6, 'f', 1))
                              .arg(QLocale().toString(now.bpm(), 'f', 1));
    m_means->setText(means);
    Spoken::describe(m_steps, means);
}
