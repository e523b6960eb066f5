#pragma once

#include <QByteArray>
#include <QTranslator>

// The window speaks Italian whatever the desktop's language, and so do Qt's
// own parts of it (the field's context menu, the file dialogs): their texts
// (Qt's Italian translations) and their dates, numbers and sizes (the
// Italian locale: "09/03/25 07:05", "2,93 KiB").
//
// Qt's file dialog formats dates and sizes with the system locale, which Qt
// reads from the environment (LC_ALL first) once. So an ItalianLocale is
// made before QApplication, with LC_ALL set to Italian, and applied after
// it: Qt has read its system locale, the environment is the user's again
// (for the programs Tamvolo starts), and so is the C library's locale, which
// the application set from the Italian environment (where it_IT.UTF-8 is not
// generated, that fails as a whole and would leave plain ASCII "C"). UI
// thread only.
class ItalianLocale
{
public:
    ItalianLocale();
    ItalianLocale(const ItalianLocale &) = delete;
    ItalianLocale &operator=(const ItalianLocale &) = delete;

    // With the application made: Qt's Italian texts installed, the default
    // locale Italian, the environment and the C library's locale the user's.
    void apply();

private:
    struct Saved
    {
        const char *name;
        bool set;
        QByteArray value;
    };
    static Saved save(const char *name);
    static void restore(const Saved &saved);

    Saved m_all;
    QTranslator m_qtTexts;
};
