#include "audio/AudioEngine.h"
#include "sound/AlertTone.h"
#include "sound/LoopRenderer.h"
#include "sound/SampleIndex.h"
#include "sound/SoundBank.h"
#include "sound/WavFile.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/Correlation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

// The loop rendered offline: every step on its frame, the same sound as the
// engine plays, and the WAV file it is written to.
class TestLoopRenderer : public QObject
{
    Q_OBJECT

    static std::vector<std::string> kitFolders() { return {SampleFolders::program()}; }

    static std::vector<float> kitSound(const char *file)
    {
        const auto s = WavLoader::load(SampleFolders::program() + file, 48000);
        return s ? s->stereo() : std::vector<float>();
    }

    static LoopRenderer::StepNames names(const char *pattern)
    {
        LoopRenderer::StepNames n;
        for (std::size_t i = 0; i < n.size() && pattern[i]; ++i)
            n[i] = std::string(1, pattern[i]);
        return n;
    }

private slots:
    void everyStepStartsOnItsFrame_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<int>("loops");
        QTest::newRow("one loop of drums") << QByteArray("VBJHGFK") << 1;
        QTest::newRow("four loops, the default") << QByteArray("VBJHGFK") << 4;
        QTest::newRow("a short pattern: the alert at the empty steps") << QByteArray("VB") << 2;
    }

    void everyStepStartsOnItsFrame()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(int, loops);
        const auto n = names(pattern.constData());
        const std::vector<float> out = leftOf(LoopRenderer(kitFolders()).render(n, loops));
        QCOMPARE(out.size(), std::size_t(loops) * 7 * 9600);
        const auto alert = AlertTone::make(48000)->stereo();
        for (int k = 0; k < 7 * loops; ++k) {
            const std::string &name = n[std::size_t(k % 7)];
            const std::string folder = SampleFolders::program();
            const auto file = SampleIndex(folder, SampleIndex::Reading::Here).resolve(folder + name);
            QCOMPARE(file.has_value(), !name.empty());
            const std::vector<float> sound = file ? WavLoader::load(*file, 48000)->stereo() : alert;
            QVERIFY(!sound.empty());
            // Judged past the fade of the sound it cuts.
            const long long at = Capture::find(out, sound, std::size_t(k) * 9600, 144, 256);
            QVERIFY2(at == 9600LL * k, qPrintable(QString("step %1 at %2").arg(k).arg(at)));
        }
    }

    void noLoopsIsNoSound() { QVERIFY(LoopRenderer(kitFolders()).render(names("VB"), 0).empty()); }

    void theRenderIsWhatTheEnginePlays()
    {
        // The engine through SDL's disk driver (which places frames exactly,
        // though it is no clock), asked for the steps 200 ms apart.
        const auto n = names("VJBKFGH");
        QTemporaryDir dir;
        const QString capture = dir.filePath("out.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", capture.toLocal8Bit());
        {
            auto engine = std::make_shared<AudioEngine>();
            QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
            SoundBank bank(engine, kitFolders);
            // All seven asked at once, the first well ahead: the voice keeps
            // them until their frames, so how slowly this thread runs (a busy
            // machine under ThreadSanitizer) cannot move them.
            const std::int64_t first = bank.nowNs() + 600'000'000;
            for (int k = 0; k < 7; ++k)
                bank.playSample(n[std::size_t(k)], first + k * 200'000'000LL);
            while (bank.nowNs() < first + 6 * 200'000'000LL)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
        const std::vector<float> played = Capture::readLeft(capture);
        const std::vector<float> rendered = leftOf(LoopRenderer(kitFolders()).render(n, 1));
        const long long start = Capture::find(played, kitSound("v.wav"), 0);
        QVERIFY(start >= 0);
        QVERIFY(std::size_t(start) + rendered.size() <= played.size());
        for (std::size_t i = 0; i < rendered.size(); ++i)
            if (played[std::size_t(start) + i] != rendered[i])
                QFAIL(qPrintable(QString("frame %1: played %2, rendered %3")
                                     .arg(i)
                                     .arg(played[std::size_t(start) + i])
                                     .arg(rendered[i])));
    }

    void theWavFileHoldsTheRender()
    {
        const std::vector<float> rendered = LoopRenderer(kitFolders()).render(names("V-K.A"), 1);
        QTemporaryDir dir;
        const QString path = dir.filePath("loop.wav");
        QCOMPARE(WavFile::save16(path, rendered, 2, 48000), CarefulWriter::Result::Written);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), qsizetype(44 + rendered.size() * 2));
        QCOMPARE(bytes.mid(0, 4), QByteArray("RIFF"));
        QCOMPARE(bytes.mid(8, 8), QByteArray("WAVEfmt "));
        auto u16 = [&](int at) { return quint16(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8); };
        auto u32 = [&](int at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
        QCOMPARE(u16(20), quint16(1));     // PCM
        QCOMPARE(u16(22), quint16(2));     // stereo
        QCOMPARE(u32(24), quint32(48000)); // frames a second
        QCOMPARE(u16(34), quint16(16));    // bits
        for (std::size_t i = 0; i < rendered.size(); ++i) {
            const auto sample = qint16(u16(44 + int(i) * 2));
            const long expected = std::lround(std::clamp(rendered[i], -1.0f, 1.0f) * 32767.0f);
            if (sample != expected)
                QFAIL(qPrintable(QString("sample %1: %2, expected %3").arg(i).arg(sample).arg(expected)));
        }
    }

    void aFileThatCannotBeWrittenIsLeftAsItWas()
    {
        QTemporaryDir dir;
        QCOMPARE(WavFile::save16(dir.filePath("no/such/folder/loop.wav"), {0.5f, 0.5f}, 2, 48000),
                 CarefulWriter::Result::NoFolder);
        QVERIFY(!QFile::exists(dir.filePath("no")));
        // A file in a folder where no new file can be made, even by root.
        QFile existing(QStringLiteral("/proc/version"));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        const QByteArray before = existing.readAll();
        existing.close();
        QVERIFY(WavFile::save16(existing.fileName(), {0.5f, 0.5f}, 2, 48000) != CarefulWriter::Result::Written);
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TestLoopRenderer)
#include "tst_looprenderer.moc"
