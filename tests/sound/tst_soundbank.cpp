#include "audio/AudioEngine.h"
#include "sound/AlertTone.h"
#include "sound/ApplicationFolder.h"
#include "sound/SoundBank.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <thread>

// The sample bank playing through the engine into SDL's disk driver: which
// sound each name plays, and where.
class TestSoundBank : public QObject
{
    Q_OBJECT

    static std::vector<float> kitSound(const char *file)
    {
        const auto s = WavLoader::load(SampleFolders::program() + file, 48000);
        return s ? s->stereo() : std::vector<float>();
    }

    struct DiskRun
    {
        std::vector<float> out;
        double pace = 0;                 // the disk driver's frames per second of the wall clock
        std::vector<double> requestedAt; // seconds
    };

    // Plays `names` 300 ms apart through a bank on `folders` and returns what
    // reached the device, with the driver's pace and when each was asked for.
    // It stops once every sound of `heard` is there (or after 10 s): on a
    // loaded machine the driver's thread and the loader may lag far behind.
    static DiskRun playThroughDisk(const std::vector<const char *> &names,
                                   std::function<std::vector<std::string>()> folders,
                                   const std::vector<std::vector<float>> &heard)
    {
        QTemporaryDir dir;
        const QString capture = dir.filePath("out.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", capture.toLocal8Bit());
        QElapsedTimer wall;
        DiskRun run;
        {
            auto engine = std::make_shared<AudioEngine>();
            if (!engine->waitForOutput(std::chrono::seconds(5)))
                return {};
            wall.start();
            SoundBank bank(engine, std::move(folders));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            for (const char *name : names) {
                run.requestedAt.push_back(double(wall.nsecsElapsed()) / 1e9);
                bank.playSample(name, bank.nowNs());
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            const auto allThere = [&] {
                const std::vector<float> out = Capture::readLeft(capture);
                return std::all_of(heard.begin(), heard.end(),
                                   [&](const std::vector<float> &sound) { return Capture::find(out, sound, 0) >= 0; });
            };
            while (!allThere() && wall.elapsed() < 10000)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const double seconds = double(wall.elapsed()) / 1000.0;
        run.out = Capture::readLeft(capture);
        run.pace = double(run.out.size()) / seconds;
        return run;
    }

private slots:
    void theProgramsSamplesAreInVocBesideIt()
    {
        QCOMPARE(QString::fromStdString(applicationFolder()), QCoreApplication::applicationDirPath());
        QCOMPARE(QString::fromStdString(SampleFolders::program()),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/voc/"));
    }

    void samplesReachTheDeviceAtTheirPlaces()
    {
        const auto [out, pace, requestedAt] =
            playThroughDisk({"v.wav", "B", "?"}, [] { return std::vector<std::string>{SampleFolders::program()}; },
                            {kitSound("v.wav"), AlertTone::make(48000)->stereo()});
        QVERIFY(out.size() > 48000);

        const std::size_t fade = 144;
        const long long kick = Capture::find(out, kitSound("v.wav"), 0);                       // a pad's file name
        const long long snare = Capture::find(out, kitSound("b.wav"), 0, fade);                // a step's character
        const long long alert = Capture::find(out, AlertTone::make(48000)->stereo(), 0, fade); // finds no file
        QVERIFY2(kick >= 0 && snare > kick && alert > snare,
                 qPrintable(QString("%1 %2 %3").arg(kick).arg(snare).arg(alert)));
        // Nothing sounds before the first request.
        for (long long i = 0; i < kick; ++i)
            QCOMPARE(out[std::size_t(i)], 0.0f);

        // The disk driver paces itself with sleeps, unevenly on a loaded
        // machine (under ThreadSanitizer a stretch ran 12 % slow): each gap
        // is the time between its requests at the driver's average pace,
        // within a quarter.
        const long long gaps[] = {snare - kick, alert - snare};
        for (int i = 0; i < 2; ++i) {
            const long long gap = gaps[i];
            const double expected = (requestedAt[i + 1] - requestedAt[i]) * pace;
            QVERIFY2(std::abs(double(gap) - expected) < 0.25 * expected,
                     qPrintable(QString("gap %1, expected %2").arg(gap).arg(expected)));
        }
    }

    void theUsersFolderComesFirst_data()
    {
        QTest::addColumn<QStringList>("userFiles"); // "name=kit file", or "name->kit file" for a link
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("heard"); // the kit file whose sound comes out
        QTest::newRow("no folder of the user's: the program's sample") << QStringList() << "V"
                                                                       << "v.wav";
        QTest::newRow("the user's file wins") << QStringList{"v.wav=b.wav"} << "V"
                                              << "b.wav";
        QTest::newRow("letter case does not matter there either") << QStringList{"V.WAV=b.wav"} << "v"
                                                                  << "b.wav";
        QTest::newRow("nor accents' composition") << QStringList{"e\xcc\x80.wav=b.wav"} << "\xc3\x88"
                                                  << "b.wav";
        QTest::newRow("a name the user lacks: the program's sample") << QStringList{"b.wav=k.wav"} << "V"
                                                                     << "v.wav";
        QTest::newRow("a link there is not followed: the program's sample") << QStringList{"v.wav->b.wav"} << "V"
                                                                            << "v.wav";
    }

    void theUsersFolderComesFirst()
    {
        QFETCH(QStringList, userFiles);
        QFETCH(QString, name);
        QFETCH(QString, heard);
        QTemporaryDir home;
        const QString user = home.filePath(QStringLiteral("voc"));
        QVERIFY(userFiles.isEmpty() || QDir().mkpath(user));
        const QString kit = QString::fromStdString(SampleFolders::program());
        for (const QString &entry : userFiles) {
            const bool link = entry.contains(QStringLiteral("->"));
            const QStringList parts = entry.split(link ? QStringLiteral("->") : QStringLiteral("="));
            const QString target = user + QLatin1Char('/') + parts[0];
            QVERIFY(link ? QFile::link(kit + parts[1], target) : QFile::copy(kit + parts[1], target));
        }
        const std::vector<std::string> folders = {user.toStdString() + "/", kit.toStdString()};
        const QByteArray utf8 = name.toUtf8();
        const std::vector<float> out =
            playThroughDisk({utf8.constData()}, [folders] { return folders; }, {kitSound(heard.toLatin1().constData())})
                .out;
        QVERIFY(!out.empty());
        for (const char *file : {"v.wav", "b.wav", "k.wav"}) {
            const bool found = Capture::find(out, kitSound(file), 0) >= 0;
            QVERIFY2(found == (heard == QLatin1String(file)), file);
        }
    }

    void theUsersFolderFollowsXdg_data()
    {
        QTest::addColumn<QByteArray>("dataHome");
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QString>("folder");
        QTest::newRow("XDG_DATA_HOME set") << QByteArray("/data") << QByteArray("/home/u") << "/data/tamvolo/voc/";
        QTest::newRow("unset: under the home folder")
            << QByteArray() << QByteArray("/home/u") << "/home/u/.local/share/tamvolo/voc/";
        QTest::newRow("a relative XDG_DATA_HOME counts as unset")
            << QByteArray("data") << QByteArray("/home/u") << "/home/u/.local/share/tamvolo/voc/";
        QTest::newRow("no home to tell: none") << QByteArray() << QByteArray() << "";
    }

    void theUsersFolderFollowsXdg()
    {
        QFETCH(QByteArray, dataHome);
        QFETCH(QByteArray, home);
        QFETCH(QString, folder);
        const QByteArray savedData = qgetenv("XDG_DATA_HOME");
        const QByteArray savedHome = qgetenv("HOME");
        auto set = [](const char *name, const QByteArray &value) {
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, value);
        };
        set("XDG_DATA_HOME", dataHome);
        set("HOME", home);
        const QString got = QString::fromStdString(SampleFolders::user());
        const auto folders = SampleFolders::defaults();
        set("XDG_DATA_HOME", savedData);
        set("HOME", savedHome);
        QCOMPARE(got, folder);
        QCOMPARE(folders.back(), SampleFolders::program()); // the program's come last
        QCOMPARE(folders.size(), folder.isEmpty() ? 1u : 2u);
    }

    void signalsAreLeftToTheProgram()
    {
        // SDL must not take SIGTERM and SIGINT: the program has to stop when
        // told. (SDL only takes a signal left at its default, as in the program.)
        struct sigaction defaults = {};
        struct sigaction savedTerm = {};
        struct sigaction savedInt = {};
        defaults.sa_handler = SIG_DFL;
        ::sigaction(SIGTERM, &defaults, &savedTerm);
        ::sigaction(SIGINT, &defaults, &savedInt);
        auto handlerOf = [](int signal) {
            struct sigaction action = {};
            ::sigaction(signal, nullptr, &action);
            return action.sa_handler;
        };
        qputenv("SDL_AUDIODRIVER", "dummy");
        bool output = false;
        bool untouched = false;
        {
            AudioEngine engine;
            output = engine.waitForOutput(std::chrono::seconds(5));
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
        auto engine = std::make_shared<AudioEngine>();
        QVERIFY(!engine->hasOutput());
        SoundBank bank(engine);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 10000; ++i)
            bank.playSample("v.wav", bank.nowNs());
        QVERIFY2(timer.elapsed() < 2000, "requests must return at once");
        QCOMPARE(engine->lateOnsets(), std::uint64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestSoundBank)
#include "tst_soundbank.moc"
