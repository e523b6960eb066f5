#include "AlertTone.h"
#include "ApplicationFolder.h"
#include "AudioEngine.h"
#include "Capture.h"
#include "SoundBank.h"
#include "VoicePlayer.h"
#include "WavLoader.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <thread>

class TestAudioEngine : public QObject
{
    Q_OBJECT

    static std::vector<float> kitSound(const char *file)
    {
        const auto s = WavLoader::load(applicationFolder() + "/voc/" + file, 48000);
        return s ? s->samples : std::vector<float>();
    }

private slots:
    void cleanup()
    {
        SoundBank::setSink(nullptr);
    }

    void samplesReachTheDeviceAtTheirPlaces()
    {
        QTemporaryDir dir;
        const QString capture = dir.filePath("out.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", capture.toLocal8Bit());
        QElapsedTimer wall;
        {
            AudioEngine engine;
            QVERIFY(engine.hasOutput());
            QCOMPARE(engine.rate(), 48000);
            QCOMPARE(engine.blockFrames(), 256);
            SoundBank::setSink(&engine);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            wall.start();
            PlaySample("v.wav");                                       // a pad's file name
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            PlaySample("B");                                           // a step's character
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            PlaySample("?");                                           // finds no file
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            SoundBank::setSink(nullptr);
        }
        const double seconds = double(wall.elapsed()) / 1000.0;
        const std::vector<float> out = Capture::readLeft(capture);
        QVERIFY(out.size() > 48000);

        const std::size_t fade = 144;
        const long long kick = Capture::find(out, kitSound("v.wav"), 0);
        const long long snare = Capture::find(out, kitSound("b.wav"), 0, fade);
        const long long alert = Capture::find(out, AlertTone::make(48000)->samples, 0, fade);
        QVERIFY2(kick >= 0 && snare > kick && alert > snare,
                 qPrintable(QString("%1 %2 %3").arg(kick).arg(snare).arg(alert)));
        // Nothing sounds before the first request.
        for (long long i = 0; i < kick; ++i)
            QCOMPARE(out[std::size_t(i)], 0.0f);

        // The disk driver paces itself with sleeps, a few per cent off real
        // time; the gaps are 300 ms of its own pace.
        const double pace = double(out.size()) / (seconds + 0.1);
        for (const long long gap : {snare - kick, alert - snare}) {
            const double expected = 0.3 * pace;
            QVERIFY2(std::abs(double(gap) - expected) < 0.05 * expected,
                     qPrintable(QString("gap %1, expected %2").arg(gap).arg(expected)));
        }
    }

    void signalsAreLeftToTheProgram()
    {
        // SDL must not take SIGTERM and SIGINT: the program has to stop when
        // told. (SDL only takes a signal left at its default, as in the program.)
        struct sigaction defaults{}, savedTerm{}, savedInt{};
        defaults.sa_handler = SIG_DFL;
        ::sigaction(SIGTERM, &defaults, &savedTerm);
        ::sigaction(SIGINT, &defaults, &savedInt);
        auto handlerOf = [](int signal) {
            struct sigaction action{};
            ::sigaction(signal, nullptr, &action);
            return action.sa_handler;
        };
        qputenv("SDL_AUDIODRIVER", "dummy");
        bool output = false;
        bool untouched = false;
        {
            AudioEngine engine;
            output = engine.hasOutput();
            untouched = handlerOf(SIGTERM) == SIG_DFL && handlerOf(SIGINT) == SIG_DFL;
        }
        ::sigaction(SIGTERM, &savedTerm, nullptr);
        ::sigaction(SIGINT, &savedInt, nullptr);
        QVERIFY(output);
        QVERIFY(untouched);
    }

    void withoutADeviceRequestsAreDropped()
    {
        qputenv("SDL_AUDIODRIVER", "no-such-driver");
        AudioEngine engine;
        QVERIFY(!engine.hasOutput());
        SoundBank::setSink(&engine);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 10000; ++i)
            PlaySample("v.wav");
        QVERIFY2(timer.elapsed() < 2000, "requests must return at once");
        QCOMPARE(engine.lateOnsets(), std::uint64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestAudioEngine)
#include "tst_audioengine.moc"
