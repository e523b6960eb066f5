#include "WavBytes.h"
#include "WavLoader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <numbers>

class TestWavLoader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    std::string write(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QString::number(++m_files) + ".wav");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return {};
        return path.toStdString();
    }

private slots:
    void formatsAreConverted_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("isFloat");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::newRow("8-bit mono at 48 kHz") << 8 << false << 1 << 48000;
        QTest::newRow("16-bit mono at 48 kHz") << 16 << false << 1 << 48000;
        QTest::newRow("16-bit stereo at 44.1 kHz") << 16 << false << 2 << 44100;
        QTest::newRow("24-bit mono at 96 kHz") << 24 << false << 1 << 96000;
        QTest::newRow("32-bit stereo at 22.05 kHz") << 32 << false << 2 << 22050;
        QTest::newRow("float mono at 48 kHz") << 32 << true << 1 << 48000;
        QTest::newRow("float stereo at 32 kHz") << 32 << true << 2 << 32000;
    }

    void formatsAreConverted()
    {
        QFETCH(int, bits);
        QFETCH(bool, isFloat);
        QFETCH(int, channels);
        QFETCH(int, rate);
        // 100 ms of a 440 Hz tone at half level: left channel only in stereo.
        const int frames = rate / 10;
        std::vector<double> values;
        for (int i = 0; i < frames; ++i) {
            values.push_back(0.5 * std::sin(2 * std::numbers::pi * 440.0 * i / rate));
            if (channels == 2)
                values.push_back(0.0);
        }
        const auto sound = WavLoader::load(write(WavBytes::make(values, channels, rate, bits, isFloat)), 48000);
        QVERIFY(sound);
        QVERIFY2(std::abs(int(sound->frames()) - 4800) <= 48, qPrintable(QString::number(sound->frames())));
        float peakLeft = 0, peakRight = 0;
        for (std::size_t i = 0; i < sound->frames(); ++i) {
            peakLeft = std::max(peakLeft, std::abs(sound->samples[2 * i]));
            peakRight = std::max(peakRight, std::abs(sound->samples[2 * i + 1]));
        }
        QVERIFY2(std::abs(peakLeft - 0.5f) < 0.03f, qPrintable(QString::number(peakLeft)));
        if (channels == 2)
            QVERIFY(peakRight < 0.01f);
        else
            QCOMPARE(peakRight, peakLeft);
    }

    void sixteenBitAtTheOutputRateIsExact()
    {
        const auto sound = WavLoader::load(write(WavBytes::constant(480, 0.25)), 48000);
        QVERIFY(sound);
        QCOMPARE(sound->frames(), std::size_t(480));
        // Exact except the last millisecond, which is brought down to zero.
        QCOMPARE(sound->samples[0], float(qint16(std::lround(0.25 * 32767))) / 32768.0f);
        QCOMPARE(sound->samples[2 * 400], sound->samples[0]);
        QCOMPARE(sound->samples[2 * 479], 0.0f);
    }

    void unreadableFilesLoadNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = WavBytes::constant(4800, 0.5);
        QTest::newRow("zero bytes") << QByteArray();
        QTest::newRow("text") << QByteArray("this is not a sound");
        QTest::newRow("header only") << good.left(44);
        QTest::newRow("wrong magic") << QByteArray("RIFX").append(good.mid(4));
        QTest::newRow("not WAVE") << QByteArray(good).replace(8, 4, "AVI ");
        QTest::newRow("truncated data") << good.left(44 + 1000);
        QByteArray huge = good;
        huge[40] = char(0xF0), huge[41] = char(0xFF), huge[42] = char(0xFF), huge[43] = char(0x7F);
        QTest::newRow("data size far beyond the file") << huge;
        QByteArray noChannels = good;
        noChannels[22] = 0;
        QTest::newRow("zero channels") << noChannels;
        QByteArray manyChannels = good;
        manyChannels[22] = char(200);
        QTest::newRow("two hundred channels") << manyChannels;
        QByteArray zeroRate = good;
        zeroRate[24] = zeroRate[25] = zeroRate[26] = zeroRate[27] = 0;
        QTest::newRow("zero rate") << zeroRate;
        QByteArray badBits = good;
        badBits[34] = 13;
        QTest::newRow("13-bit samples") << badBits;
        QTest::newRow("no data chunk") << good.left(36);
        // 4800 frames said to last an hour: judged before any conversion.
        QByteArray afterData = good;
        afterData.insert(36, QByteArray("LIST\xff\xff\xff\x0f", 8));
        QTest::newRow("a chunk before the data said to be 256 MiB") << afterData;
        QTest::newRow("no fmt chunk before the data") << QByteArray("RIFF\x24\0\0\0WAVE").append(good.mid(36));
        QTest::newRow("a rate of 1 Hz") << WavBytes::constant(4800, 0.5, 1);
        QTest::newRow("a rate of 999 Hz") << WavBytes::constant(4800, 0.5, 999);
        QTest::newRow("a rate of 1 MHz") << WavBytes::constant(4800, 0.5, 1000000);
    }

    void unreadableFilesLoadNothing()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!WavLoader::load(write(bytes), 48000));
    }

    void missingFileLoadsNothing()
    {
        QVERIFY(!WavLoader::load(m_dir.filePath("absent.wav").toStdString(), 48000));
        QVERIFY(!WavLoader::load(m_dir.path().toStdString(), 48000));
    }

    void tooLongASoundLoadsNothing()
    {
        // 61 s at 8 kHz is a small file but longer than any sample may be.
        QVERIFY(!WavLoader::load(write(WavBytes::constant(8000 * 61, 0.1, 8000)), 48000));
    }
};

QTEST_APPLESS_MAIN(TestWavLoader)
#include "tst_wavloader.moc"
