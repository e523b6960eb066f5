#include "app/ItalianLocale.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>

#include <clocale>

ItalianLocale::ItalianLocale()
    : m_all(save("LC_ALL"))
{
    qputenv("LC_ALL", "it_IT.UTF-8");
}

void ItalianLocale::apply()
{
    (void)QLocale::system(); // read now, from the Italian environment
    restore(m_all);
    std::setlocale(LC_ALL, "");
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    if (m_qtTexts.load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&m_qtTexts);
}

ItalianLocale::Saved ItalianLocale::save(const char *name)
{
    return {name, qEnvironmentVariableIsSet(name), qgetenv(name)};
}

void ItalianLocale::restore(const Saved &saved)
{
    if (saved.set)
        qputenv(saved.name, saved.value);
    else
        qunsetenv(saved.name);
}
