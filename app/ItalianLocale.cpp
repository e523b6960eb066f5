#include "app/ItalianLocale.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>

ItalianLocale::ItalianLocale()
    : m_all(save("LC_ALL"))
    , m_time(save("LC_TIME"))
    , m_lang(save("LANG"))
{
    // LC_ALL would hide LC_TIME: what it chose stays the choice for the
    // rest, through LANG.
    if (m_all.set) {
        qunsetenv("LC_ALL");
        qputenv("LANG", m_all.value);
    }
    qputenv("LC_TIME", "it_IT.UTF-8");
}

void ItalianLocale::apply()
{
    for (const Saved *saved : {&m_all, &m_time, &m_lang})
        restore(*saved);
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
