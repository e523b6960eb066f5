#pragma once

#include <QString>
#include <QTest>

// One measurement through a real server, made up to `tries` times until
// clean() holds: a busy machine can cut a sound beyond finding or hold the
// program up now and then, while a fault of ours shows on every try. Each try
// that did not count is said with found(); the caller asserts afterwards, on
// the last try's figures. A check that failed within a try ends the tries.
template <typename Measure, typename Clean, typename Found>
void tryUntilClean(Measure &&measure, Clean &&clean, Found &&found, int tries = 3)
{
    for (int n = 1; n <= tries; ++n) {
        measure();
        if (QTest::currentTestFailed() || clean())
            return;
        qInfo("try %d of %d did not count: %s", n, tries, qPrintable(found()));
    }
}
