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
        QVERIFY2(peakDb >= -6.0 && peakDb <= -1.0, qPrintable(QString("peak %1 dBFS").arg(peakDb)));
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
};

QTEST_GUILESS_MAIN(TestSampleKit)
#include "tst_samplekit.moc"
