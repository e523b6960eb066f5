#pragma once

#include "app/Platform.h"
#include "files/CarefulWriter.h"
#include "keys/Tempo.h"

#include <QFutureWatcher>
#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class PatternField;
class QAction;
class QWidget;

// The pattern field's file actions: "Apri pattern…", "Salva pattern…" and
// "Esporta il loop come WAV…" (its context menu), and a pattern file dropped on the
// window or named on the command line. Patterns go through the window's
// functions passed in (PatternFiles); the loop is rendered offline into a
// WAV file in the background (QtConcurrent), so that the window and the loop
// go on meanwhile ("Esporta il loop come WAV…" is greyed until it is written). A failure is said in a message
// box, with why, and nothing else changes; a loop written says where.
class PatternFileActions : public QObject
{
    Q_OBJECT

public:
    static constexpr int kExportLoops = 4;

    // Reading a pattern file into the field (by its name as the system gives
    // it, byte for byte), false when it could not; and writing the field to
    // one, with the writer's answer. The field and the file as they were on
    // failure.
    struct PatternFiles
    {
        std::function<bool(const QByteArray &)> open;
        std::function<CarefulWriter::Result(const QString &)> save;
        std::function<Tempo()> tempo; // the loop's, for the export
    };

    // The actions belong to `window`, over which their dialogs and messages
    // open. `sampleFolders` as the sample bank searches them, for the export.
    PatternFileActions(QWidget &window, PatternField &field, PatternFiles files, Platform::ChooseFile chooseFile,
                       std::function<std::vector<std::string>()> sampleFolders);

    // In menu order.
    QList<QAction *> actions() const;

    // Opens the pattern file at `path` into the field; says so when it cannot.
    void open(const QString &path);
    // The same for a name as the system gives it, byte for byte.
    void openNative(const QByteArray &nativePath);
    // Starts writing `loops` loops of the field's pattern to a WAV file at
    // `path`; exportFinished() tells how it went (on failure the file is as
    // it was). False when an export is already under way.
    bool exportLoop(const QString &path, int loops = kExportLoops);

    void openChosen();
    void saveChosen();
    void exportChosen();

signals:
    void exportFinished(const QString &path, bool written);

private:
    void tell(const char *name, const QString &text, bool failure = true);
    void exportDone();

    QWidget &m_window;
    PatternFiles m_files;
    PatternField &m_field;
    Platform::ChooseFile m_chooseFile;
    std::function<std::vector<std::string>()> m_sampleFolders;
    QAction *m_open = nullptr;
    QAction *m_save = nullptr;
    QAction *m_export = nullptr;
    QFutureWatcher<CarefulWriter::Result> *m_exportWatch = nullptr;
    QString m_exportPath;
};
