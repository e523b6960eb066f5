#include "app/Platform.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

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
    p.chooseFile = [](QWidget *parent, const QString &title, const QString &filter, const QString &suffix, bool save) {
        QFileDialog dialog(parent, title, QString(), filter);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().front();
    };
    p.ask = [](QWidget *parent, const QString &question) {
        return QMessageBox::question(parent, QStringLiteral("Tamvolo"), question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    return p;
}
