#include "app/PatternFileActions.h"

#include "app/Form1.h"
#include "app/PatternField.h"
#include "sequencer/StepSequencer.h"
#include "sound/LoopRenderer.h"
#include "sound/WavFile.h"

#include <QAction>
#include <QFile>
#include <QMessageBox>

namespace {

const QString kPatternFilter = QStringLiteral("Pattern (*.txt);;Tutti i file (*)");
const QString kWavFilter = QStringLiteral("Audio WAV (*.wav)");

} // namespace

PatternFileActions::PatternFileActions(Form1 &form, PatternField &field, Platform::ChooseFile chooseFile,
                                       std::function<std::vector<std::string>()> sampleFolders)
    : QObject(&form)
    , m_form(form)
    , m_field(field)
    , m_chooseFile(std::move(chooseFile))
    , m_sampleFolders(std::move(sampleFolders))
{
    auto action = [this](const char *name, const QString &text, void (PatternFileActions::*slot)()) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    m_open = action("openPattern", QStringLiteral("Apri pattern…"), &PatternFileActions::openChosen);
    m_save = action("savePattern", QStringLiteral("Salva pattern…"), &PatternFileActions::saveChosen);
    m_export = action("exportLoop", QStringLiteral("Esporta il loop…"), &PatternFileActions::exportChosen);
}

QList<QAction *> PatternFileActions::actions() const
{
    return {m_open, m_save, m_export};
}

void PatternFileActions::tell(const char *name, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Tamvolo"), text, QMessageBox::Ok, &m_form);
    box->setObjectName(QLatin1String(name));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void PatternFileActions::open(const QString &path)
{
    if (!m_form.OpenFile(path))
        tell("patternOpenFailure", QStringLiteral("Impossibile aprire il pattern:\n%1").arg(path));
}

void PatternFileActions::openNative(const QByteArray &nativePath)
{
    if (!m_form.OpenFile(nativePath))
        tell("patternOpenFailure",
             QStringLiteral("Impossibile aprire il pattern:\n%1").arg(QFile::decodeName(nativePath)));
}

void PatternFileActions::openChosen()
{
    const QString path =
        m_chooseFile ? m_chooseFile(&m_form, QStringLiteral("Apri pattern"), kPatternFilter, {}, false) : QString();
    if (!path.isEmpty())
        open(path);
}

void PatternFileActions::saveChosen()
{
    const QString path = m_chooseFile
        ? m_chooseFile(&m_form, QStringLiteral("Salva pattern"), kPatternFilter, QStringLiteral("txt"), true)
        : QString();
    if (!path.isEmpty() && !m_form.CloseFile(path))
        tell("patternSaveFailure", QStringLiteral("Impossibile salvare il pattern:\n%1").arg(path));
}

bool PatternFileActions::exportLoop(const QString &path, int loops) const
{
    LoopRenderer::StepNames names;
    for (int step = 1; step <= LoopRenderer::kSteps; ++step)
        names[std::size_t(step - 1)] = StepSequencer::stepName(m_field.text(), step);
    const LoopRenderer renderer(m_sampleFolders());
    return WavFile::save16(path, renderer.render(names, loops), 2, LoopRenderer::kRate);
}

void PatternFileActions::exportChosen()
{
    const QString path = m_chooseFile
        ? m_chooseFile(&m_form, QStringLiteral("Esporta il loop"), kWavFilter, QStringLiteral("wav"), true)
        : QString();
    if (!path.isEmpty() && !exportLoop(path))
        tell("loopExportFailure", QStringLiteral("Impossibile esportare il loop:\n%1").arg(path));
}
