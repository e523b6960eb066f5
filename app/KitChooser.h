#pragma once

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
// and says what was skipped; the seven drum keys' instruments of the kit
// that plays are shown below, each changeable.
class KitChooser : public QDialog
{
    Q_OBJECT

public:
    KitChooser(KitLoader &loader, std::function<std::shared_ptr<const KitSounds>()> playing, QWidget *parent = nullptr);

    // The UI thread: what the loader told (progress, then the result).
    void told(const KitLoader::Told &told);

private:
    void listed(const std::vector<KitCatalog::Entry> &kits);
    void useHighlighted();
    void showKeys();

    KitLoader &m_loader;
    std::function<std::shared_ptr<const KitSounds>()> m_playing;
    QTreeWidget *m_list = nullptr;
    QLabel *m_status = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_use = nullptr;
    QTableWidget *m_keys = nullptr;
};
