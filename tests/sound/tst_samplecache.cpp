#include "sound/SampleCache.h"
#include "support/WavBytes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The cache of converted sounds: bounded in bytes as well as in entries,
// the sounds used least recently going first.
class TestSampleCache : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    std::string sample(const char *name, int frames)
    {
        const QString path = m_dir.filePath(QLatin1String(name));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(WavBytes::constant(frames, 0.25));
        return path.toStdString();
    }

private slots:
    void theLeastRecentlyUsedGoesWhenTheBytesRunOut()
    {
        // Each sound: 48000 frames of mono float, kept mono: 192,000 bytes.
        const std::size_t each = 48000 * sizeof(float);
        SampleCache cache(48000, 2 * each + each / 2);
        const std::string a = sample("a.wav", 48000), b = sample("b.wav", 48000), c = sample("c.wav", 48000);
        const auto firstA = cache.get(a);
        const auto firstB = cache.get(b);
        QCOMPARE(cache.get(a), firstA); // a used again: b is now the oldest
        const auto firstC = cache.get(c);
        QVERIFY(firstA && firstB && firstC);
        QCOMPARE(cache.entries(), std::size_t(2));
        QVERIFY(cache.bytes() <= 2 * each + each / 2);
        QCOMPARE(cache.get(a), firstA);  // kept
        QCOMPARE(cache.get(c), firstC);  // kept
        QVERIFY(cache.get(b) != firstB); // dropped, read again
        // A sound dropped while in use lives on in its user's hands.
        QCOMPARE(firstB->frames(), std::size_t(48000));
    }

    void aSoundLargerThanTheBudgetPlaysButIsNotKept()
    {
        SampleCache cache(48000, 1000);
        const std::string big = sample("big.wav", 48000);
        const auto first = cache.get(big);
        QVERIFY(first);
        QCOMPARE(cache.entries(), std::size_t(0));
        QCOMPARE(cache.bytes(), std::size_t(0));
    }

    void theEntryLimitStillHolds()
    {
        SampleCache cache(48000);
        for (std::size_t i = 0; i < SampleCache::kMaxEntries + 20; ++i)
            QVERIFY(cache.get(sample(("n" + std::to_string(i) + ".wav").c_str(), 100)));
        QCOMPARE(cache.entries(), SampleCache::kMaxEntries);
    }
};

QTEST_GUILESS_MAIN(TestSampleCache)
#include "tst_samplecache.moc"
