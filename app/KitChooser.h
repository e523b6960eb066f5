#pragma once

#include "app/Platform.h"
#include "sound/KitCatalog.h"
#include "sound/KitLoader.h"

#include <QDialog>

#include <memory>

class KitSounds;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTreeWidget;

// "Scegli il kit": every kit found (KitCatalog: its name, author, licence
// and instruments, read from its own file off the UI thread), the built-in
// "Kit di Tamvolo" first. Highlighting a kit plays a pad of it at once;
// "Usa questo kit" (or Enter, or a double click) loads it, with its progress,
// and says what was skipped; "Apri un kit…" loads one from a file (a
// .h2drumkit is unpacked among the user's kits); the seven drum keys'
// instruments of the kit that plays are shown below, each changeable (and
// remembered for that kit).
class KitChooser : public QDialog
{
    Q_OBJECT

public:
    KitChooser(KitLoader &loader, std::function<std::shared_ptr<const KitSounds>()> playing,
               Platform::ChooseFile chooseFile, QWidget *parent = nullptr);

    // Loads the kit of `path` (a file opened or dropped), saying so.
    void open(const QString &path);

    // The UI thread: what the loader told (progress, then the result).
    void told(const KitLoader::Told &told);

private:
    void list();
    void listed(const std::vector<KitCatalog::Entry> &kits);
    void useHighlighted();
    void showKeys();

    KitLoader &m_loader;
    std::function<std::shared_ptr<const KitSounds>()> m_playing;
    Platform::ChooseFile m_chooseFile;
    QTreeWidget *m_list = nullptr;
    QLabel *m_status = nullptr;
    bool m_statusSaysLoad = false;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_use = nullptr;
    QTableWidget *m_keys = nullptr;
};
