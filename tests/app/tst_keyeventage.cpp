#include "app/KeyEventAge.h"

#include <QTest>

// How long ago a key was pressed, from its window-system time stamp.
class TestKeyEventAge : public QObject
{
    Q_OBJECT

private slots:
    void age_data()
    {
        QTest::addColumn<quint32>("eventMs");
        QTest::addColumn<qint64>("nowNs");
        QTest::addColumn<qint64>("ageNs");
        const qint64 second = 1'000'000'000;
        QTest::newRow("pressed 3 ms ago") << quint32(5000) << 5003 * 1'000'000LL + 250'000 << 2'750'000LL;
        QTest::newRow("pressed in this millisecond") << quint32(5003) << 5003 * 1'000'000LL + 900'000 << 400'000LL;
        QTest::newRow("the stamps wrap at 32 bits")
            << quint32(0xffffffffu) << (0x100000000LL + 4) * 1'000'000 + 500'000 << 5'000'000LL;
        QTest::newRow("older than believable: now") << quint32(5000) << 5000 * 1'000'000LL + 2 * second << 0LL;
        QTest::newRow("from the future (another clock): now") << quint32(9000) << 5000 * 1'000'000LL << 0LL;
        QTest::newRow("no stamp: now") << quint32(0) << 5000 * 1'000'000LL << 0LL;
    }

    void age()
    {
        QFETCH(quint32, eventMs);
        QFETCH(qint64, nowNs);
        QFETCH(qint64, ageNs);
        QCOMPARE(KeyEventAge::ns(eventMs, nowNs), ageNs);
    }
};

QTEST_APPLESS_MAIN(TestKeyEventAge)
#include "tst_keyeventage.moc"
