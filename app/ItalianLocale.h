#pragma once

#include <QTranslator>

// The window speaks Italian whatever the desktop's language, and so do Qt's
// own parts of it (the field's context menu, the file dialogs): their texts
// (Qt's Italian translations) and their dates, numbers and sizes (the
// Italian locale: "09/03/25 07:05", "2,93 KiB").
//
// Qt's file dialog formats dates and sizes with the system locale, which Qt
// reads from the environment (LC_ALL first) once, at its first use. So an
// ItalianLocale is made before QApplication: Qt reads an Italian LC_ALL, and
// the environment is the user's again before any other thread starts; the C
// library's locale, which the application sets from the environment, stays
// the user's (an Italian LC_ALL where it_IT.UTF-8 is not generated would
// leave plain ASCII "C"). It is applied after the application is made. UI
// thread only.
class ItalianLocale
{
public:
    ItalianLocale();
    ItalianLocale(const ItalianLocale &) = delete;
    ItalianLocale &operator=(const ItalianLocale &) = delete;

    // With the application made: Qt's Italian texts installed, the default
    // locale Italian.
    void apply();

private:
    // The few texts of Qt's file dialog that Qt's Italian lacks.
    class Missing : public QTranslator
    {
    public:
        bool isEmpty() const override { return false; }
        QString translate(const char *context, const char *sourceText, const char *disambiguation,
                          int n) const override;
    };

    Missing m_missing;
    QTranslator m_qtTexts;
};
