#include "app/KitChooser.h"

#include "keys/DrumKeys.h"
#include "sound/KitSounds.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr int kPathRole = Qt::UserRole;

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}

} // namespace

KitChooser::KitChooser(KitLoader &loader, std::function<std::shared_ptr<const KitSounds>()> playing,
                       Platform::ChooseFile chooseFile, QWidget *parent)
    : QDialog(parent)
    , m_loader(loader)
    , m_playing(std::move(playing))
    , m_chooseFile(std::move(chooseFile))
{
    setObjectName(QStringLiteral("kitChooser"));
    setWindowTitle(QStringLiteral("Scegli il kit – Tamvolo"));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("Kit trovati (drumkit di Hydrogen e file SFZ). Quello evidenziato "
                                            "suona un colpo; Invio o «Usa questo kit» lo carica."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("kitList"));
    m_list->setAccessibleName(QStringLiteral("Kit"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("Kit"), QStringLiteral("Strumenti"), QStringLiteral("Autore"),
                             QStringLiteral("Licenza"), QStringLiteral("Note")});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(2, QHeaderView::Interactive);
    m_list->header()->setSectionResizeMode(3, QHeaderView::Interactive);
    m_list->setColumnWidth(2, fontMetrics().averageCharWidth() * 22);
    m_list->setColumnWidth(3, fontMetrics().averageCharWidth() * 16);
    m_list->setMinimumSize(fontMetrics().averageCharWidth() * 96, fontMetrics().height() * 12);
    intro->setBuddy(m_list);
    layout->addWidget(m_list, 1);
    m_status = new QLabel(QStringLiteral("Cerco i kit…"), this);
    m_status->setObjectName(QStringLiteral("kitStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(m_status);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("kitProgress"));
    m_progress->setAccessibleName(QStringLiteral("Caricamento del kit"));
    m_progress->hide();
    layout->addWidget(m_progress);
    auto *keysLabel = new QLabel(QStringLiteral("I tasti del kit che suona:"), this);
    layout->addWidget(keysLabel);
    m_keys = new QTableWidget(KitSounds::kDrumKeys, 2, this);
    m_keys->setObjectName(QStringLiteral("kitKeys"));
    m_keys->setAccessibleName(QStringLiteral("I tasti del kit"));
    m_keys->setHorizontalHeaderLabels({QStringLiteral("Tasto"), QStringLiteral("Strumento")});
    m_keys->verticalHeader()->hide();
    m_keys->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_keys->horizontalHeader()->setStretchLastSection(true);
    m_keys->setEditTriggers(QAbstractItemView::NoEditTriggers);
    keysLabel->setBuddy(m_keys);
    layout->addWidget(m_keys);
    auto *buttons = new QDialogButtonBox(this);
    m_use = buttons->addButton(QStringLiteral("&Usa questo kit"), QDialogButtonBox::AcceptRole);
    m_use->setObjectName(QStringLiteral("useKit"));
    m_use->setEnabled(false);
    auto *other = buttons->addButton(QStringLiteral("&Apri un kit…"), QDialogButtonBox::ActionRole);
    other->setObjectName(QStringLiteral("openKit"));
    connect(other, &QPushButton::clicked, this, [this] {
        const QString path = m_chooseFile
            ? m_chooseFile(this, QStringLiteral("Apri un kit"), QStringLiteral("Kit (*.h2drumkit drumkit.xml *.sfz)"),
                           {}, false)
            : QString();
        if (!path.isEmpty())
            open(path);
    });
    buttons->addButton(QStringLiteral("Chiudi"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &KitChooser::useHighlighted);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        m_use->setEnabled(item != nullptr);
        if (item)
            m_loader.preview(item->data(0, kPathRole).toString().toStdString());
    });
    connect(m_list, &QTreeWidget::itemActivated, this, [this] { useHighlighted(); });

    list();
    showKeys();
}

void KitChooser::list()
{
    auto *watcher = new QFutureWatcher<std::vector<KitCatalog::Entry>>(this);
    connect(watcher, &QFutureWatcher<std::vector<KitCatalog::Entry>>::finished, this, [this, watcher] {
        listed(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([] { return KitCatalog::list(); }));
}

void KitChooser::open(const QString &path)
{
    m_loader.load(path.toStdString());
    m_status->setText(QStringLiteral("Carico «%1»…").arg(path.section('/', -1)));
    m_statusSaysLoad = true;
}

void KitChooser::listed(const std::vector<KitCatalog::Entry> &kits)
{
    const auto playing = m_playing();
    const std::string current = playing ? playing->kit().source : std::string();
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    auto *builtIn = new QTreeWidgetItem(m_list,
                                        {QStringLiteral("Kit di Tamvolo"), QString::number(KitSounds::kDrumKeys),
                                         QStringLiteral("Tamvolo"), QString(), QString()});
    builtIn->setData(0, kPathRole, QString());
    QTreeWidgetItem *chosen = builtIn;
    for (const KitCatalog::Entry &kit : kits) {
        auto *item =
            new QTreeWidgetItem(m_list,
                                {text(kit.name), QString::number(kit.instruments), text(kit.author), text(kit.license),
                                 kit.skipped == 1      ? QStringLiteral("1 parte incompleta")
                                     : kit.skipped > 1 ? QStringLiteral("%1 parti incomplete").arg(kit.skipped)
                                                       : QString()});
        item->setData(0, kPathRole, text(kit.path));
        item->setToolTip(0, text(kit.path));
        item->setToolTip(2, text(kit.author));
        item->setToolTip(3, text(kit.license));
        item->setToolTip(4, item->text(4));
        if (kit.path == current)
            chosen = item;
    }
    // What a load said stays; the count is for a chooser just opened.
    if (!m_statusSaysLoad)
        m_status->setText(kits.empty() ? QStringLiteral("Nessun altro kit trovato: metti i drumkit di Hydrogen in "
                                                        "~/.hydrogen/data/drumkits e i file SFZ in "
                                                        "~/.local/share/tamvolo/kits.")
                                       : QStringLiteral("%1 kit trovati.").arg(kits.size() + 1));
    // The kit that plays highlighted, without playing it.
    m_list->setCurrentItem(chosen);
    m_use->setEnabled(true);
    m_list->setFocus();
}

void KitChooser::useHighlighted()
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    m_loader.load(item->data(0, kPathRole).toString().toStdString());
    m_status->setText(QStringLiteral("Carico «%1»…").arg(item->text(0)));
    m_statusSaysLoad = true;
}

void KitChooser::told(const KitLoader::Told &told)
{
    if (!told.finished) {
        m_progress->setRange(0, told.total);
        m_progress->setValue(told.done);
        m_progress->show();
        return;
    }
    m_progress->hide();
    if (!told.loaded) {
        m_status->setText(QStringLiteral("«%1» non si può caricare (%2): suona ancora il kit di prima.")
                              .arg(text(told.name.empty() ? told.path : told.name), text(told.why)));
        return;
    }
    QString said = QStringLiteral("Suona ora «%1».").arg(text(told.name));
    if (!told.skipped.empty()) {
        said += QStringLiteral(" Lasciato fuori: ");
        for (std::size_t i = 0; i < told.skipped.size() && i < 4; ++i)
            said += (i ? QStringLiteral("; ") : QString()) + text(told.skipped[i]);
        if (told.skipped.size() > 4)
            said += QStringLiteral("; e altro ancora (%1 in tutto)").arg(told.skipped.size());
        said += '.';
    }
    m_status->setText(said);
    showKeys();
    // The kit that plays highlighted, without playing it; one opened from a
    // file (an archive unpacked) joins the list.
    const auto playing = m_playing();
    const QString source = playing ? text(playing->kit().source) : QString();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (m_list->topLevelItem(i)->data(0, kPathRole).toString() == source) {
            const QSignalBlocker quiet(m_list);
            m_list->setCurrentItem(m_list->topLevelItem(i));
            return;
        }
    }
    list();
}

void KitChooser::showKeys()
{
    const auto playing = m_playing();
    for (int k = 0; k < KitSounds::kDrumKeys; ++k) {
        auto *key = new QTableWidgetItem(QStringLiteral("%1 (%2)")
                                             .arg(QChar(KitSounds::kKeys[std::size_t(k)]))
                                             .arg(QLatin1String(DrumKeys::drumName(k))));
        m_keys->setItem(k, 0, key);
        auto *choice = new QComboBox(m_keys);
        choice->setAccessibleName(
            QStringLiteral("Strumento del tasto %1").arg(QChar(KitSounds::kKeys[std::size_t(k)])));
        choice->addItem(QStringLiteral("(suono di Tamvolo)"), -1);
        if (playing) {
            for (std::size_t i = 0; i < playing->instruments().size(); ++i)
                if (!playing->instruments()[i].layers.empty())
                    choice->addItem(text(playing->instruments()[i].name), int(i));
            choice->setCurrentIndex(std::max(0, choice->findData(playing->instrumentForKey(k))));
        }
        choice->setEnabled(playing != nullptr);
        connect(choice, &QComboBox::activated, this,
                [this, k, choice] { m_loader.assignKey(k, choice->currentData().toInt()); });
        m_keys->setCellWidget(k, 1, choice);
    }
    m_keys->resizeRowsToContents();
    // The seven keys shown whole, under any font and scale.
    int height = m_keys->horizontalHeader()->sizeHint().height() + 2 * m_keys->frameWidth();
    for (int k = 0; k < KitSounds::kDrumKeys; ++k)
        height += m_keys->rowHeight(k);
    m_keys->setMinimumHeight(height);
}
