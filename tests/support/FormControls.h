#pragma once

#include <QTest>
#include <QWidget>

// Finds a control of a window by its name, failing the test when absent.
template <typename T = QWidget>
T *control(QObject *form, const char *name)
{
    T *found = form->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}
