#include "keys/PadTable.h"
#include "sound/ApplicationFolder.h"
#include "support/ClickDetector.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>
#include <QtEndian>

#include <cmath>

// The kit the build synthesizes into voc/: every file of the pad table, as
// clean 16-bit material.
class TestSampleKit : public QObject
{
    Q_OBJECT

    static QString folder() { return QString::fromStdString(applicationFolder()) + "/voc/"; }

private slots:
    void everyPadFileIsThere()
    {
        QSet<QString> expected;
        for (const PadTable::Row &row : PadTable::rows())
            expected.insert(QString::fromUtf8(row.file.data(), qsizetype(row.file.size())));
        const QStringList present = QDir(folder()).entryList({"*.wav"}, QDir::Files);
        QCOMPARE(QSet<QString>(present.begin(), present.end()), expected);
    }

    void soundsAreClean_data()
    {
        QTest::addColumn<QString>("file");
        QSet<QString> seen;
        for (const PadTable::Row &row : PadTable::rows()) {
            const QString file = QString::fromUtf8(row.file.data(), qsizetype(row.file.size()));
            if (!seen.contains(file)) {
                seen.insert(file);
                QTest::newRow(qPrintable(file)) << file;
            }
        }
    }

    void soundsAreClean()
    {
        QFETCH(QString, file);
        QFile f(folder() + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.size() > 44);
        QCOMPARE(bytes.left(4), QByteArray("RIFF"));
        QCOMPARE(bytes.mid(8, 8), QByteArray("WAVEfmt "));
        const auto *h = reinterpret_cast<const uchar *>(bytes.constData());
        QCOMPARE(qFromLittleEndian<quint16>(h + 20), quint16(1)); // PCM
        QCOMPARE(qFromLittleEndian<quint16>(h + 22), quint16(1)); // mono
        const quint32 rate = qFromLittleEndian<quint32>(h + 24);
        QVERIFY(rate == 44100 || rate == 48000);
        QCOMPARE(qFromLittleEndian<quint16>(h + 34), quint16(16));
        QCOMPARE(bytes.mid(36, 4), QByteArray("data"));
        const quint32 dataBytes = qFromLittleEndian<quint32>(h + 40);
        QCOMPARE(qsizetype(dataBytes), bytes.size() - 44);

        const qsizetype n = qsizetype(dataBytes / 2);
        double peak = 0, sum = 0;
        std::vector<double> s(static_cast<std::size_t>(n));
        for (qsizetype i = 0; i < n; ++i) {
            s[std::size_t(i)] = qFromLittleEndian<qint16>(h + 44 + 2 * i) / 32768.0;
            peak = std::max(peak, std::abs(s[std::size_t(i)]));
            sum += s[std::size_t(i)];
        }
        const double peakDb = 20 * std::log10(peak);
        QVERIFY2(peakDb >= -9.0 && peakDb <= -2.95, qPrintable(QString("peak %1 dBFS").arg(peakDb))); // -3 ceiling
        QVERIFY2(std::abs(sum / double(n)) < 1e-3, "DC offset");
        // Starts and ends at silence: no click.
        QVERIFY(std::abs(s.front()) < 1e-3);
        QVERIFY(std::abs(s.back()) < 1e-3);

        std::vector<float> asFloat(s.begin(), s.end());
        QCOMPARE(ClickDetector::find(asFloat), std::vector<std::size_t>{});

        const double seconds = double(n) / rate;
        static const QSet<QString> drums = {"v.wav", "b.wav", "J.wav", "h.wav", "g.wav", "f.wav"};
        if (drums.contains(file))
            QVERIFY2(seconds <= 0.5, qPrintable(QString::number(seconds)));
        else
            QVERIFY2(seconds <= 2.5, qPrintable(QString::number(seconds)));
    }

    // The kick, the snare and the toms as loud as each other, by the RMS of
    // the first 150 ms of the hit; the hi-hat and the crash under them.
    void theDrumsAreBalancedByLoudness()
    {
        auto hitDb = [](const char *file) {
            QFile f(folder() + QLatin1String(file));
            if (!f.open(QIODevice::ReadOnly))
                return 0.0;
            const QByteArray bytes = f.readAll().mid(44, 2 * 48000 * 150 / 1000);
            const auto *h = reinterpret_cast<const uchar *>(bytes.constData());
            double energy = 0;
            for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
                energy += std::pow(qFromLittleEndian<qint16>(h + i) / 32768.0, 2);
            return 10 * std::log10(energy / double(bytes.size() / 2));
        };
        QStringList levels;
        double sum = 0;
        const char *drums[] = {"v.wav", "b.wav", "h.wav", "g.wav", "f.wav"};
        for (const char *file : drums) {
            sum += hitDb(file);
            levels << QStringLiteral("%1 %2 dB").arg(QLatin1String(file)).arg(hitDb(file), 0, 'f', 1);
        }
        const double mean = sum / 5;
        for (const char *file : drums)
            QVERIFY2(std::abs(hitDb(file) - mean) <= 2.0, qPrintable(levels.join(QStringLiteral(", "))));
        QVERIFY2(hitDb("J.wav") < mean - 6 && hitDb("J.wav") > mean - 15, qPrintable(QString::number(hitDb("J.wav"))));
        QVERIFY2(hitDb("k.wav") < mean && hitDb("k.wav") > mean - 8, qPrintable(QString::number(hitDb("k.wav"))));
    }
};

QTEST_GUILESS_MAIN(TestSampleKit)
#include "tst_samplekit.moc"
