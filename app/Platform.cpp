#include "app/Platform.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeView>

#include <array>
#include <memory>

Platform Platform::system()
{
    Platform p;
    p.getVersionEx = [](OsVersionInfo &info) {
        if (info.size != OsVersionInfo::kSize)
            return false;
        info.platformId = 2;
        return true;
    };
    p.startProgram = [](const QString &path, int) {
        // A Windows path ("C:\\WINDOWS\\...") never names a program here: on
        // Linux it would be read as a file name in the current folder, which
        // anyone who gave the user an archive could have planted.
        if (path.contains(QLatin1Char('\\')) || (path.size() > 1 && path.at(1) == QLatin1Char(':')))
            return false;
        // Exactly the file at that path (relative to the current folder when
        // it has no folder in it), never one of the same name on PATH.
        const QFileInfo file(QDir::current(), path);
        if (!file.isFile() || !file.isExecutable())
            return false;
        return QProcess::startDetached(file.absoluteFilePath(), {});
    };
    // The first dialog for sounds starts in the user's music folder, the
    // first for patterns in the documents folder (the home folder where
    // either is missing); each later one where the user last chose a file
    // of its kind.
    auto lastFolders = std::make_shared<std::array<QString, 2>>();
    p.chooseFile = [lastFolders](QWidget *parent, const QString &title, const QString &filter, const QString &suggested,
                                 bool save) {
        const bool sounds = filter.contains(QLatin1String("*.wav"));
        QString &last = (*lastFolders)[sounds ? 1 : 0];
        QString folder = last;
        if (folder.isEmpty()) {
            folder = QStandardPaths::writableLocation(sounds ? QStandardPaths::MusicLocation
                                                             : QStandardPaths::DocumentsLocation);
            if (!QFileInfo(folder).isDir())
                folder = QDir::homePath();
        }
        QFileDialog dialog(parent, title, folder, filter);
        dialog.setObjectName(QStringLiteral("fileDialog"));
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QFileInfo(suggested).suffix());
        if (save && !suggested.isEmpty())
            dialog.selectFile(suggested);
        dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Tipo di file:"));
        // Qt's own dialog (where the desktop offers none) gives its columns
        // fixed widths that cut the Italian titles and the sizes: each column
        // after the name fits what it shows.
        dialog.resize(dialog.sizeHint().expandedTo(QSize(820, 480)));
        if (auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView"))) {
            for (int column = 1; column < details->header()->count(); ++column)
                details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        last = dialog.directory().absolutePath();
        return dialog.selectedFiles().front();
    };
    p.ask = [](QWidget *parent, const QString &question) {
        return QMessageBox::question(parent, QStringLiteral("Tamvolo"), question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    p.choose = [](QWidget *parent, const QString &question, const QStringList &choices) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Tamvolo"), question, QMessageBox::NoButton, parent);
        QList<QAbstractButton *> buttons;
        for (qsizetype i = 0; i < choices.size(); ++i)
            buttons << box.addButton(choices[i],
                                     i == 0                        ? QMessageBox::AcceptRole
                                         : i + 1 == choices.size() ? QMessageBox::RejectRole
                                                                   : QMessageBox::DestructiveRole);
        if (!buttons.isEmpty()) {
            box.setDefaultButton(qobject_cast<QPushButton *>(buttons.front()));
            box.setEscapeButton(buttons.back());
        }
        box.exec();
        const qsizetype pressed = buttons.indexOf(box.clickedButton());
        return int(pressed < 0 ? choices.size() - 1 : pressed);
    };
    return p;
}
