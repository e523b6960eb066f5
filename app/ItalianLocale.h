#pragma once

#include <QByteArray>
#include <QTranslator>

// The window speaks Italian whatever the desktop's language, and so do Qt's
// own parts of it (the field's context menu, the file dialogs): their texts
// (Qt's Italian translations) and their dates and numbers (the Italian
// locale).
//
// Qt's file dialog writes dates in the system locale's time format, which Qt
// reads from LC_TIME (LC_ALL before it) once, as the application starts. So
// an ItalianLocale is made before QApplication, with LC_TIME set to Italian,
// and applied after it, which gives the user's environment back for the
// programs Tamvolo starts. UI thread only.
class ItalianLocale
{
public:
    ItalianLocale();
    ItalianLocale(const ItalianLocale &) = delete;
    ItalianLocale &operator=(const ItalianLocale &) = delete;

    // With the application made: Qt's Italian texts installed, the default
    // locale Italian, the environment as it was.
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

    Saved m_all, m_time, m_lang;
    QTranslator m_qtTexts;
};
