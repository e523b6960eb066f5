#include "app/PatternFileActions.h"

#include "app/FileMessages.h"
#include "app/PatternField.h"
#include "keys/PatternLength.h"
#include "sequencer/StepSequencer.h"
#include "sound/LoopRenderer.h"
#include "sound/WavFile.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QToolTip>
#include <QtConcurrent>

namespace {

// New patterns are saved as .tamvolo, which the desktop opens with Tamvolo;
// the .txt files of earlier versions open as well.
const QString kPatternFilter = QStringLiteral("Pattern (*.tamvolo *.txt);;Tutti i file (*)");
const QString kWavFilter = QStringLiteral("File audio WAV (*.wav)");
// How long the sign that a pattern was saved stays.
constexpr int kSavedShownMs = 2500;

} // namespace

PatternFileActions::PatternFileActions(QWidget &window, PatternField &field, PatternFiles files,
                                       Platform::ChooseFile chooseFile,
                                       std::function<std::vector<std::string>()> sampleFolders)
    : QObject(&window)
    , m_window(window)
    , m_files(std::move(files))
    , m_field(field)
    , m_chooseFile(std::move(chooseFile))
    , m_sampleFolders(std::move(sampleFolders))
{
    // Each with its shortcut, which works anywhere in the window.
    auto action = [this](const char *name, const QString &text, const QKeySequence &keys,
                         void (PatternFileActions::*slot)()) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        m_window.addAction(a);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    const QKeySequence openKeys(QKeySequence::Open);
    m_open = action("openPattern", QStringLiteral("&Apri il pattern…"), openKeys, &PatternFileActions::openChosen);
    m_save = action("savePattern", QStringLiteral("&Salva il pattern…"), QKeySequence::Save,
                    &PatternFileActions::saveChosen);
    m_export = action("exportLoop", QStringLiteral("&Esporta il loop come WAV…"), QKeySequence(Qt::CTRL | Qt::Key_E),
                      &PatternFileActions::exportChosen);
    m_exportWatch = new QFutureWatcher<CarefulWriter::Result>(this);
    connect(m_exportWatch, &QFutureWatcherBase::finished, this, &PatternFileActions::exportDone);
}

QList<QAction *> PatternFileActions::actions() const
{
    return {m_open, m_save, m_export};
}

void PatternFileActions::tell(const char *name, const QString &text, bool failure)
{
    auto *box = new QMessageBox(failure ? QMessageBox::Warning : QMessageBox::Information, QStringLiteral("Tamvolo"),
                                text, QMessageBox::Ok, &m_window);
    box->setObjectName(QLatin1String(name));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void PatternFileActions::open(const QString &path)
{
    openNative(QFile::encodeName(path));
}

void PatternFileActions::openNative(const QByteArray &nativePath)
{
    if (!m_files.open(nativePath))
        tell("patternOpenFailure",
             FileMessages::notRead(QStringLiteral("Impossibile aprire il pattern"), QFile::decodeName(nativePath),
                                   PatternFile::whyUnread(nativePath)));
}

void PatternFileActions::openChosen()
{
    const QString path = m_chooseFile
        ? m_chooseFile(&m_window, QStringLiteral("Apri il pattern"), kPatternFilter, {}, false)
        : QString();
    if (!path.isEmpty())
        open(path);
}

void PatternFileActions::saveChosen()
{
    const QString path = m_chooseFile ? m_chooseFile(&m_window, QStringLiteral("Salva il pattern"), kPatternFilter,
                                                     QStringLiteral("pattern.tamvolo"), true)
                                      : QString();
    if (path.isEmpty())
        return;
    const CarefulWriter::Result saved = m_files.save(path);
    if (saved != CarefulWriter::Result::Written) {
        tell("patternSaveFailure",
             FileMessages::notWritten(QStringLiteral("Impossibile salvare il pattern"), path, saved));
        return;
    }
    // A brief sign, under the field, that takes nothing from the keys.
    const QString said = QStringLiteral("Pattern salvato: %1").arg(QFileInfo(path).fileName());
    QToolTip::showText(m_field.mapToGlobal(QPoint(0, m_field.height())), said, &m_field, {}, kSavedShownMs);
}

bool PatternFileActions::exportLoop(const QString &path, int loops)
{
    if (m_exportWatch->isRunning())
        return false;
    LoopRenderer::StepNames names;
    for (int step = 1; step <= PatternLength::kSteps; ++step)
        names[std::size_t(step - 1)] = StepSequencer::stepName(m_field.text(), step);
    m_exportPath = path;
    // The render owns what it uses.
    const Tempo tempo = m_files.tempo ? m_files.tempo() : Tempo{};
    m_exportWatch->setFuture(QtConcurrent::run([path, names, folders = m_sampleFolders(), loops, tempo] {
        const LoopRenderer renderer(folders);
        return WavFile::save16(path, renderer.render(names, loops, tempo), 2, LoopRenderer::kRate);
    }));
    m_export->setEnabled(false);
    return true;
}

void PatternFileActions::exportDone()
{
    m_export->setEnabled(true);
    const CarefulWriter::Result result = m_exportWatch->result();
    const bool written = result == CarefulWriter::Result::Written;
    if (written)
        tell("loopExported", FileMessages::exported(m_exportPath), false);
    else
        tell("loopExportFailure",
             FileMessages::notWritten(QStringLiteral("Impossibile esportare il loop"), m_exportPath, result));
    emit exportFinished(m_exportPath, written);
}

void PatternFileActions::exportChosen()
{
    const QString path = m_chooseFile ? m_chooseFile(&m_window, QStringLiteral("Esporta il loop come WAV"), kWavFilter,
                                                     QStringLiteral("loop.wav"), true)
                                      : QString();
    if (!path.isEmpty())
        exportLoop(path);
}
