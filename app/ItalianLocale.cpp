#include "app/ItalianLocale.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>

ItalianLocale::ItalianLocale()
{
    // Qt reads its system locale from the environment once, at its first
    // use: here, from an Italian LC_ALL, put back at once. Nothing but this
    // thread runs yet: no other thread may read the environment while it
    // changes (D-Bus's thread, started with the application, does).
    const bool set = qEnvironmentVariableIsSet("LC_ALL");
    const QByteArray users = qgetenv("LC_ALL");
    qputenv("LC_ALL", "it_IT.UTF-8");
    (void)QLocale::system();
    if (set)
        qputenv("LC_ALL", users);
    else
        qunsetenv("LC_ALL");
}

void ItalianLocale::apply()
{
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    // Asked after Qt's own translations, which are installed later.
    QApplication::installTranslator(&m_missing);
    if (m_qtTexts.load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&m_qtTexts);
}

QString ItalianLocale::Missing::translate(const char *context, const char *sourceText, const char *, int) const
{
    // The file dialog's type of a folder.
    if (qstrcmp(context, "QAbstractFileIconProvider") == 0 && qstrcmp(sourceText, "Folder") == 0)
        return QStringLiteral("Cartella");
    return {};
}
