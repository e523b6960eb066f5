#pragma once

#include <QTest>
#include <QWidget>

#include <initializer_list>

// The window's controls by object name, as the tests look them up.
inline constexpr std::initializer_list<const char *> kFormControls = {
    "Image1",   "Image2",   "Image3",   "Image4",   "Image5",   "Image6",    "Shape1",   "Shape2",
    "Shape3",   "Line1",    "Line2",    "Text1",    "Text2",    "Text3",     "Frame1",   "Label2",
    "CmdCance", "Command2", "cmdFerma", "Command6", "Command7", "cmdRiduci", "cmdChiudi"};

// True when `form` has every control in `names`; otherwise records a test
// failure naming each missing one. Checked in init(), so that a window
// without a control fails the tests, one by one, before their bodies run.
inline bool hasControls(QObject *form, std::initializer_list<const char *> names = kFormControls)
{
    bool all = true;
    for (const char *name : names) {
        if (!form->findChild<QWidget *>(QLatin1String(name))) {
            QTest::qFail(qPrintable(QStringLiteral("no control named %1").arg(QLatin1String(name))), __FILE__,
                         __LINE__);
            all = false;
        }
    }
    return all;
}

// Finds a control of a window by its name. A missing one is a test failure
// (and null); hasControls() in init() keeps test bodies from meeting one.
template <typename T = QWidget> T *control(QObject *form, const char *name)
{
    T *found = form->findChild<T *>(QLatin1String(name));
    if (!found)
        QTest::qFail(qPrintable(QStringLiteral("no control named %1 of that kind").arg(QLatin1String(name))), __FILE__,
                     __LINE__);
    return found;
}
