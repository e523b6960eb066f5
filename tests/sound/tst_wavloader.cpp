#include "sound/WavLoader.h"
#include "support/WavBytes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
        QCOMPARE(sound->channels, channels); // a mono sound is kept at half the size
        float peakLeft = 0, peakRight = 0;
        for (std::size_t i = 0; i < sound->frames(); ++i) {
            peakLeft = std::max(peakLeft, std::abs(sound->at(i, 0)));
            peakRight = std::max(peakRight, std::abs(sound->at(i, 1)));
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
        QCOMPARE(sound->at(0, 0), float(qint16(std::lround(0.25 * 32767))) / 32768.0f);
        QCOMPARE(sound->at(400, 1), sound->at(0, 0));
        QCOMPARE(sound->at(479, 1), 0.0f);
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

    void soundsJustUnderTheLimitPlay_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("frames");
        QTest::newRow("59.92 s at 48 kHz") << 48000 << 48000 * 5992 / 100;
        QTest::newRow("59.5 s at 8 kHz") << 8000 << 8000 * 595 / 10;
        QTest::newRow("59.9 s at 1 kHz") << 1000 << 59900;
    }

    void soundsJustUnderTheLimitPlay()
    {
        QFETCH(int, rate);
        QFETCH(int, frames);
        const auto sound = WavLoader::load(write(WavBytes::constant(frames, 0.1, rate)), 48000);
        QVERIFY(sound);
        QCOMPARE(qint64(sound->frames()), qint64(frames) * 48000 / rate);
    }

    void theHeaderTellsTheDecodedLength_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("format");
        QTest::addColumn<qint64>("frames");
        QTest::newRow("16-bit mono") << WavBytes::constant(1000, 0.1) << 1 << qint64(1000);
        QTest::newRow("float stereo") << WavBytes::make(std::vector<double>(600, 0.1), 2, 48000, 32, true) << 3
                                      << qint64(300);
        QTest::newRow("IMA ADPCM: 505 frames in each 256-byte block")
            << WavBytes::adpcm(0x0011, 8000, 256, 505, 10 * 256) << 0x11 << qint64(10 * 505);
        QTest::newRow("MS ADPCM: a last block cut short counts whole")
            << WavBytes::adpcm(0x0002, 8000, 256, 500, 10 * 256 + 100) << 2 << qint64(11 * 500);
    }

    void theHeaderTellsTheDecodedLength()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, format);
        QFETCH(qint64, frames);
        const auto header = WavLoader::readHeader(bytes.constData(), std::size_t(bytes.size()));
        QVERIFY(header);
        QCOMPARE(header->format, format);
        QCOMPARE(qint64(header->frames), frames);
    }

    void aCompactFileTooLongOnceDecodedIsRefusedUndecoded()
    {
        // 4 MB of IMA ADPCM at 8 kHz: 17 minutes once decoded.
        const QByteArray bytes = WavBytes::adpcm(0x0011, 8000, 256, 505, 4 * 1024 * 1024);
        const auto header = WavLoader::readHeader(bytes.constData(), std::size_t(bytes.size()));
        QVERIFY(header && header->frames > 60LL * 8000);
        QVERIFY(!WavLoader::decode(bytes.constData(), std::size_t(bytes.size()), 48000));
    }

    void aNamedPipeInTheSamplesPlaceIsNotWaitedFor()
    {
        // Swapped in after the name was looked up: opening it must not wait
        // for a writer that never comes.
        const QString fifo = m_dir.filePath(QStringLiteral("swapped.wav"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        auto loading = std::async(std::launch::async, [&] { return WavLoader::load(fifo.toStdString(), 48000); });
        const bool returned = loading.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (!returned) { // let the stuck loader go before failing
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
        QVERIFY2(returned, "the loader waited on a named pipe");
        QVERIFY(!loading.get());
    }

    void aLinkInTheSamplesPlaceIsNotFollowed()
    {
        const QString real = write(WavBytes::constant(1000, 0.1)).c_str();
        const QString link = m_dir.filePath(QStringLiteral("link.wav"));
        QVERIFY(QFile::link(real, link));
        QVERIFY(WavLoader::load(real.toStdString(), 48000));
        QVERIFY(!WavLoader::load(link.toStdString(), 48000));
    }

    void tooLongASoundLoadsNothing()
    {
        // 61 s at 8 kHz is a small file but longer than any sample may be.
        QVERIFY(!WavLoader::load(write(WavBytes::constant(8000 * 61, 0.1, 8000)), 48000));
    }
};

QTEST_APPLESS_MAIN(TestWavLoader)
#include "tst_wavloader.moc"
