#pragma once

#include "app/Form1.h"
#include "support/FormControls.h"
#include "support/RecordingSink.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <memory>
#include <utility>
#include <vector>

// The window as its suites make it: in Fusion, its sounds going to a
// recording sink, on a platform whose every answer is the test's and whose
// every question is kept. A suite's class derives from it beside QObject.
class WindowFixture
{
protected:
    RecordingSink m_sink;
    std::unique_ptr<Form1> m_form;

    // What the platform answers.
    int m_platformId = 2;        // the version query's
    bool m_queryWorks = true;    // whether it answers at all
    bool m_startSucceeds = true; // starting a program
    bool m_answer = false;       // to a yes-or-no question
    int m_choice = 2;            // of the choices offered
    QString m_chosen;            // the file dialog's
    // What it was asked.
    std::vector<std::pair<QString, int>> m_started;
    QStringList m_questions; // with the choices, "Salva/Scarta/Annulla"
    QStringList m_asked;     // the file dialogs' titles

    static void useFusion() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    Platform fakePlatform()
    {
        Platform p;
        p.getVersionEx = [this](OsVersionInfo &info) {
            if (!m_queryWorks || info.size != OsVersionInfo::kSize)
                return false;
            info.platformId = m_platformId;
            return true;
        };
        p.startProgram = [this](const QString &path, int style) {
            m_started.emplace_back(path, style);
            return m_startSucceeds;
        };
        p.chooseFile = [this](QWidget *, const QString &title, const QString &, const QString &, bool) {
            m_asked << title;
            return m_chosen;
        };
        p.ask = [this](QWidget *, const QString &question) {
            m_questions << question;
            return m_answer;
        };
        p.choose = [this](QWidget *, const QString &question, const QStringList &choices) {
            m_questions << question + QStringLiteral(" ") + choices.join(QLatin1Char('/'));
            return m_choice;
        };
        return p;
    }

    // A new window (with a tray where `trayAvailable`), the platform's
    // answers and records as at the start.
    void makeWindow(bool trayAvailable = false)
    {
        m_form.reset();
        m_sink.clear();
        m_platformId = 2;
        m_queryWorks = m_startSucceeds = true;
        m_answer = false;
        m_choice = 2;
        m_chosen.clear();
        m_started.clear();
        m_questions.clear();
        m_asked.clear();
        if (QApplication::style()->name() != QLatin1String("fusion"))
            useFusion(); // as the program has it
        m_form = std::make_unique<Form1>(m_sink, fakePlatform(), trayAvailable);
        QVERIFY(hasControls(m_form.get()));
    }
};
