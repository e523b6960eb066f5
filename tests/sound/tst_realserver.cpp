#include "audio/AudioEngine.h"
#include "audio/core/MonotonicClock.h"
#include "audio/outputs/PulseOutput.h"
#include "sequencer/StepLoop.h"
#include "sound/SoundBank.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/ClickDetector.h"
#include "support/Correlation.h"
#include "support/DropoutDetector.h"
#include "support/GraphCapture.h"
#include "support/Onsets.h"
#include "support/PrivatePulseServer.h"
#include "support/PulseCapture.h"
#include "support/ReferenceTone.h"
#include "support/Tries.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

std::vector<float> kitSound(const char *file)
{
    const auto s = WavLoader::load(SampleFolders::program() + file, 48000);
    return s ? s->stereo() : std::vector<float>();
}

void sleepUntil(std::int64_t monotonic)
{
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<std::int64_t>(0, monotonic - monotonicNs())));
}

// The lines the engine logs, while a test listens.
QStringList g_audioLog;
QtMessageHandler g_previousHandler = nullptr;

void keepAudioLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && std::strcmp(context.category, "tamvolo.audio") == 0)
        g_audioLog.append(message);
    else if (g_previousHandler)
        g_previousHandler(type, context, message);
}

void setGraph(const QString &setting, const QString &value)
{
    QProcess::execute(QStringLiteral("pw-metadata"), {"-n", "settings", "0", setting, value});
}

// What the server grants a playback stream that asks for `attr` (with
// ADJUST_LATENCY, as the output does): the frames it keeps queued and the
// latency its sink is then configured to, in frames; -1 for what it did not
// say within five seconds.
struct Granted
{
    long long requestFrames = -1;
    long long queueFrames = -1;
    long long sinkFrames = -1;
};

Granted grantedFor(const pa_buffer_attr &attr)
{
    Granted granted;
    pa_mainloop *loop = pa_mainloop_new();
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "tamvolo-test");
    pa_stream *stream = nullptr;
    QElapsedTimer waited;
    waited.start();
    const auto until = [&](auto done) {
        while (!done() && waited.elapsed() < 5000) {
            pa_mainloop_prepare(loop, 10'000);
            pa_mainloop_poll(loop);
            pa_mainloop_dispatch(loop);
        }
        return done();
    };
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 && until([&] {
            return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) ||
                pa_context_get_state(context) == PA_CONTEXT_READY;
        }) &&
        pa_context_get_state(context) == PA_CONTEXT_READY) {
        const pa_sample_spec format = {PA_SAMPLE_FLOAT32LE, 48000, 2};
        stream = pa_stream_new(context, "cushion", &format, nullptr);
        pa_stream_connect_playback(stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
        if (until([&] {
                return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) ||
                    pa_stream_get_state(stream) == PA_STREAM_READY;
            }) &&
            pa_stream_get_state(stream) == PA_STREAM_READY) {
            granted.requestFrames = pa_stream_get_buffer_attr(stream)->minreq / AudioOutput::kFrameBytes;
            granted.queueFrames = pa_stream_get_buffer_attr(stream)->tlength / AudioOutput::kFrameBytes;
            pa_operation_unref(pa_context_get_sink_info_by_index(
                context, pa_stream_get_device_index(stream),
                [](pa_context *, const pa_sink_info *info, int, void *to) {
                    if (info)
                        static_cast<Granted *>(to)->sinkFrames = (long long)(info->configured_latency * 48 / 1000);
                },
                &granted));
            until([&] { return granted.sinkFrames >= 0; });
        }
    }
    if (stream) {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return granted;
}

} // namespace

// Plays v.wav every 100 ms until `capture` hears it or `limitMs` pass;
// returns the milliseconds it took, or -1.
qint64 playUntilHeard(SoundBank &bank, PulseCapture &capture, const std::vector<float> &sound, int limitMs)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < limitMs) {
        bank.playSample("v.wav", bank.nowNs());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!Capture::findAll(capture.left(), sound, 144, 256).empty())
            return waited.elapsed();
    }
    return -1;
}

// What comes out of the server's sink (the left channel) while `play` is
// given a bank on a fresh engine, 200 ms after the engine opened, and the
// engine; 600 ms of the sound after it are kept. Empty when the engine or
// the recording could not start. `side` (if given) takes right minus left.
template <class Play> std::vector<float> playRecorded(Play &&play, std::vector<float> *side = nullptr)
{
    PulseCapture capture;
    if (!capture.start())
        return {};
    {
        auto engine = std::make_shared<AudioEngine>();
        if (!engine->waitForOutput(std::chrono::seconds(5)))
            return {};
        SoundBank bank(engine);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        play(bank, *engine);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    capture.stop();
    if (side)
        *side = capture.side();
    return capture.left();
}

// The engine playing into a real PulseAudio server (the private instance the
// test fixture starts), and what came out of the server's sink, recorded from
// its monitor in real time.
class TestRealServer : public QObject
{
    Q_OBJECT

    QByteArray m_fixtureServer;
    QByteArray m_fixtureConfig;
    QByteArray m_fixtureRuntime;

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "runs with the private sound server");
        m_fixtureServer = qgetenv("PULSE_SERVER");
        m_fixtureConfig = qgetenv("PULSE_CLIENTCONFIG");
        m_fixtureRuntime = qgetenv("PIPEWIRE_RUNTIME_DIR");
        // The output the program chooses for the server: its own stream.
        qunsetenv("SDL_AUDIODRIVER");
        qunsetenv("TAMVOLO_AUDIO");
    }

    void cleanup()
    {
        qputenv("PULSE_SERVER", m_fixtureServer);
        qputenv("PULSE_CLIENTCONFIG", m_fixtureConfig);
        if (m_fixtureRuntime.isEmpty())
            qunsetenv("PIPEWIRE_RUNTIME_DIR");
        else
            qputenv("PIPEWIRE_RUNTIME_DIR", m_fixtureRuntime);
    }

    void stepsComeOutOfTheServerOnTheirGrid_data()
    {
        QTest::addColumn<int>("stepsPerMinute");
        QTest::addColumn<int>("swing");    // %
        QTest::addColumn<int>("changeAt"); // the step after which the tempo goes to 180 a minute; 0: none
        QTest::newRow("the default tempo, 200 ms a step") << 300 << 0 << 0;
        QTest::newRow("120 steps a minute") << 120 << 0 << 0;
        QTest::newRow("180 steps a minute, 30 % swing") << 180 << 30 << 0;
        QTest::newRow("300 steps a minute, then 180 from the 10th step") << 300 << 0 << 10;
    }

    void stepsComeOutOfTheServerOnTheirGrid()
    {
        QFETCH(int, stepsPerMinute);
        QFETCH(int, swing);
        QFETCH(int, changeAt);
        // Where step k (0, 1...) falls, in frames after the first, by the
        // minute's arithmetic: within a frame of it (to the frame at 200 ms).
        const auto grid = [&](int k) {
            const auto at = [](int steps, int spm, int swung, int step) {
                return steps * 2'880'000.0 / spm + (step % 2 == 1 ? 2'880'000.0 / spm * swung / 100 : 0);
            };
            if (changeAt && k > changeAt - 1)
                return at(changeAt - 1, stepsPerMinute, 0, 0) + at(k - changeAt + 1, 180, 0, 0);
            return at(k, stepsPerMinute, swing, k % 7);
        };
        const double tolerance = stepsPerMinute == 300 && !changeAt ? 0 : 1;
        // Every step comes out, each exactly on its grid after the one
        // before, with no click, but once for each time the engine reports
        // the machine made it late (the output held up for over 100 ms, or a
        // step reached the voice after its frame), and where the machine
        // stopped every client: the reference client beside us lost its tone
        // (a hole or a jump in it) between the same two steps. A busy machine
        // can spoil a try: tried up to five times (a CI machine once spoilt
        // three running); a step lost or moved while the reference played on
        // fails every try.
        const std::vector<float> kick = kitSound("v.wav");
        constexpr int kSteps = 20;
        int heard = 0, off = 0, lost = 0, excused = 0, holesAlone = 0, clicks = 0;
        std::uint64_t late = 0; // what the engine says came late
        auto clean = [&] { return lost == 0 && off <= 2 * int(late) && clicks == 0; };
        auto found = [&] {
            return QString("%1 steps heard, %2 not heard and %3 off the one before with the reference playing on, "
                           "%4 where it lost its tone too, %5 late; %6 holes of ours alone, %7 clicks")
                .arg(heard)
                .arg(lost)
                .arg(off)
                .arg(excused)
                .arg(late)
                .arg(holesAlone)
                .arg(clicks);
        };
        tryUntilClean(
            [&] {
                QTemporaryDir dir;
                ReferenceTone reference(dir.path(), kSteps * 60 / stepsPerMinute + 3);
                std::vector<float> side;
                const std::vector<float> out = playRecorded(
                    [&](SoundBank &bank, const AudioEngine &engine) {
                        // As the window asks for its steps: a little ahead,
                        // each stamped with its due time on one grid.
                        StepLoop loop;
                        loop.setTempo({stepsPerMinute, swing}, 0);
                        loop.start(bank.nowNs());
                        for (int k = 0; k < kSteps; ++k) {
                            if (changeAt && k == changeAt) // a change heard from the next step on
                                loop.setTempo({180, 0}, bank.nowNs() + 30'000'000);
                            const int step = *loop.firstDue();
                            const std::int64_t due = *loop.dueNs(step);
                            sleepUntil(monotonicNs() + (due - bank.nowNs()) - 30'000'000);
                            bank.playSample("v.wav", loop.tick(step, bank.nowNs()));
                        }
                        std::this_thread::sleep_for(std::chrono::milliseconds(600));
                        late = engine.stalls() + engine.lateOnsets();
                    },
                    &side);
                QVERIFY(!out.empty());
                const auto onsets = Capture::findAll(out, kick, 144, 256);
                std::vector<DropoutDetector::Play> plays;
                for (const long long at : onsets)
                    plays.push_back({at, &kick});
                const auto holes = DropoutDetector::find(out, plays);
                for (const auto &hole : holes)
                    qInfo("a hole of %lld frames at frame %lld", hole.frames, hole.frame);
                // Where the reference's tone has a hole or a jump (frames
                // the recording lost): the machine's.
                std::vector<double> machine;
                for (const double at : ReferenceTone::holes(side))
                    machine.push_back(at * 48000);
                for (const std::size_t at : ClickDetector::find(side))
                    machine.push_back(double(at));
                for (const double at : machine)
                    qInfo("the reference lost its tone at frame %.0f", at);
                heard = int(onsets.size());
                // Holes in our sound are judged beside the reference in the
                // benchmarks; here those the reference did not have within
                // 20 ms are counted and said. A click at a hole is the hole's.
                auto near = [](const auto &marks, long long at, auto frameOf) {
                    return std::any_of(marks.begin(), marks.end(),
                                       [&](const auto &m) { return std::abs(frameOf(m) - double(at)) <= 960; });
                };
                holesAlone = int(std::count_if(holes.begin(), holes.end(), [&](const auto &h) {
                    return !near(machine, h.frame, [](double at) { return at; });
                }));
                const auto jumps = ClickDetector::find(out);
                clicks = int(std::count_if(jumps.begin(), jumps.end(), [&](std::size_t at) {
                    return !near(machine, (long long)at, [](double m) { return m; }) &&
                        !near(holes, (long long)at, [](const auto &h) { return double(h.frame); });
                }));
                // Each onset after the first is the step whose place after
                // the one before it is nearest.
                off = excused = 0;
                lost = kSteps - heard;
                for (std::size_t i = 1, step = 0; i < onsets.size(); ++i) {
                    const double apart = double(onsets[i] - onsets[i - 1]);
                    std::size_t next = step + 1;
                    while (int(next) < kSteps - 1 &&
                           std::abs(grid(int(next) + 1) - grid(int(step)) - apart) <
                               std::abs(grid(int(next)) - grid(int(step)) - apart))
                        ++next;
                    if (next != step + 1 || std::abs(apart - (grid(int(next)) - grid(int(step)))) > tolerance) {
                        qInfo("steps %zu and %zu are %.0f frames apart", step, next, apart);
                        const bool theMachines = std::any_of(machine.begin(), machine.end(), [&](double at) {
                            return at >= double(onsets[i - 1]) && at < double(onsets[i]);
                        });
                        (theMachines ? excused : off) += 1;
                        if (theMachines)
                            lost -= int(next - step - 1);
                    }
                    step = next;
                }
            },
            clean, found, 5);
        qInfo("%s", qPrintable(found()));
        QVERIFY(clean());
    }

    void fermaTenMillisecondsBeforeABeatSilencesIt()
    {
        // Steps asked for 30 ms ahead, as the window does; the fourth is
        // withdrawn 10 ms before its beat: three kicks come out, no fourth,
        // the last two a step apart (within a block of PipeWire's graph,
        // which now and then moves one by its quantum). A busy machine can
        // cut a kick beyond finding: tried up to three times; a Ferma that
        // does not silence the fourth fails every try.
        const std::vector<float> kick = kitSound("v.wav");
        std::vector<long long> onsets;
        auto clean = [&] { return onsets.size() == 3 && std::llabs(onsets[2] - onsets[1] - 9600) <= 256; };
        tryUntilClean(
            [&] {
                const std::vector<float> out = playRecorded([&](SoundBank &bank, const AudioEngine &) {
                    const std::int64_t start = bank.nowNs();
                    auto waitFor = [&](std::int64_t streamNs) {
                        sleepUntil(monotonicNs() + (streamNs - bank.nowNs()));
                    };
                    for (int k = 1; k <= 4; ++k) {
                        const std::int64_t due = start + k * StepLoop::kIntervalNs;
                        waitFor(due - 30'000'000);
                        bank.playStep("v.wav", due);
                    }
                    const std::int64_t lastDue = start + 4 * StepLoop::kIntervalNs;
                    waitFor(lastDue - 10'000'000);
                    bank.withdrawSteps(bank.nowNs() + 1);
                });
                QVERIFY(!out.empty());
                onsets = Capture::findAll(out, kick, 144, 256);
            },
            clean, [&] { return QString("%1 kicks heard").arg(onsets.size()); });
        QCOMPARE(int(onsets.size()), 3);
        QVERIFY2(clean(), qPrintable(QString("the last two kicks %1 frames apart").arg(onsets[2] - onsets[1])));
    }

    void soundComesBackWhenAKilledServerReturns()
    {
        PrivatePulseServer server;
        QVERIFY(server.ok());
        server.use();
        const std::vector<float> kick = kitSound("v.wav");
        auto engine = std::make_shared<AudioEngine>();
        QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
        SoundBank bank(engine);
        {
            PulseCapture capture;
            QVERIFY(capture.start());
            QVERIFY(playUntilHeard(bank, capture, kick, 5000) >= 0);
        }

        server.signal("KILL");
        QTRY_VERIFY_WITH_TIMEOUT(!engine->hasOutput(), 5000);
        bank.playSample("v.wav", bank.nowNs()); // dropped, harmlessly, while there is no server
        QVERIFY(server.start());
        PulseCapture capture;
        QVERIFY(capture.start());
        const qint64 back = playUntilHeard(bank, capture, kick, 10000);
        qInfo("sound came back %lld ms after the server did", back);
        QVERIFY2(back >= 0, "no sound after the server came back");
        QVERIFY(engine->hasOutput());
        // Once, or a few times where the server comes up in stages (its
        // socket before its sink): never a storm of reopens.
        QVERIFY2(engine->reopens() >= 1 && engine->reopens() <= 3, qPrintable(QString::number(engine->reopens())));
    }

    void theSoundGoesWhereTheUserSendsIt_data()
    {
        QTest::addColumn<bool>("moved");
        QTest::addColumn<bool>("sinkLater"); // the sink is added after the sound was sent there
        QTest::newRow("sent to another sink") << true << false;
        QTest::newRow("sent to a sink plugged in afterwards") << true << true;
        QTest::newRow("another sink made the default") << false << false;
    }

    void theSoundGoesWhereTheUserSendsIt()
    {
        QFETCH(bool, moved);
        QFETCH(bool, sinkLater);
        if (!qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT").contains(QStringLiteral("pipewire")))
            QSKIP("PipeWire's node links itself; PulseAudio moves its streams itself");
        auto pactl = [](const QStringList &arguments) {
            QProcess p;
            p.start(QStringLiteral("pactl"), arguments);
            p.waitForFinished(5000);
            return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        };
        QString module;
        auto addSink = [&] { module = pactl({"load-module", "module-null-sink", "sink_name=tamvolo_other"}); };
        if (!sinkLater)
            addSink();
        auto engine = std::make_shared<AudioEngine>();
        QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
        SoundBank bank(engine);
        if (moved) {
            // Where a patchbay or pw-metadata sends it: its target.
            QProcess dump;
            dump.start(QStringLiteral("pw-dump"));
            dump.waitForFinished(5000);
            QString node;
            for (const QJsonValue &object : QJsonDocument::fromJson(dump.readAllStandardOutput()).array()) {
                const QJsonObject props = object[QStringLiteral("info")][QStringLiteral("props")].toObject();
                if (props[QStringLiteral("node.name")] == QStringLiteral("Tamvolo") &&
                    props[QStringLiteral("media.class")] == QStringLiteral("Stream/Output/Audio"))
                    node = QString::number(object[QStringLiteral("id")].toInt());
            }
            QVERIFY(!node.isEmpty());
            QProcess::execute(QStringLiteral("pw-metadata"), {node, "target.object", "tamvolo_other"});
        } else {
            pactl({"set-default-sink", "tamvolo_other"});
        }
        if (sinkLater)
            addSink();
        QVERIFY(!module.isEmpty());
        PulseCapture capture;
        QVERIFY(capture.start("tamvolo_other.monitor"));
        const std::vector<float> kick = kitSound("v.wav");
        const qint64 heard = playUntilHeard(bank, capture, kick, 5000);
        // Then a kick on both of the sink's channels alike.
        PulseCapture again;
        QVERIFY(again.start("tamvolo_other.monitor"));
        bank.playSample("v.wav", bank.nowNs());
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        again.stop();
        pactl({"set-default-sink", "tamvolo_out"});
        pactl({"unload-module", module});
        QVERIFY2(heard >= 0, "not heard on the sink it was sent to");
        auto peak = [](const std::vector<float> &x) {
            float most = 0;
            for (const float v : x)
                most = std::max(most, std::abs(v));
            return most;
        };
        QVERIFY2(peak(again.left()) > 0.1f && peak(again.side()) < 0.05f * peak(again.left()),
                 qPrintable(QString("left %1, right minus left %2").arg(peak(again.left())).arg(peak(again.side()))));
    }

    void theLoopKeepsItsGridWhenTheGraphChanges_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("back");
        QTest::addColumn<bool>("strict");
        QTest::newRow("the quantum grows to 1024 and comes back") << "clock.force-quantum"
                                                                  << "1024"
                                                                  << "256" << true;
        // Quantum 64, and 128 at 44100 Hz, are too small for any client on
        // two cores: judged against the reference client's holes.
        QTest::newRow("the rate goes to 44100 and comes back") << "clock.force-rate"
                                                               << "44100"
                                                               << "48000" << false;
        QTest::newRow("the quantum shrinks to 64 and comes back") << "clock.force-quantum"
                                                                  << "64"
                                                                  << "256" << false;
    }

    void theLoopKeepsItsGridWhenTheGraphChanges()
    {
        // The loop plays through a change of the graph's quantum or rate and
        // back: a change never moves the steps off their grid (each 200 ms of
        // frames after the one before, within 1 ms), and a key pressed after
        // each change sounds at the lead the engine has then, one block of
        // the new quantum and its margin. The engine says each change once.
        // A step moves only where the engine followed a hole in the graph
        // (cycles it ran without us: the whole graph loses them now and then
        // on this machine, the reference client beside us too). A busy
        // machine can spoil a try: tried up to three times.
        if (!qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT").contains(QStringLiteral("pipewire")))
            QSKIP("the graph's quantum and rate are PipeWire's");
        QFETCH(QString, setting);
        QFETCH(QString, value);
        QFETCH(QString, back);
        QFETCH(bool, strict);
        const std::vector<float> kick = leftOf(kitSound("v.wav"));
        const std::vector<float> snare = leftOf(kitSound("b.wav"));
        constexpr int kSteps = 25;
        int intervalsOff = 0, keysOff = 0, referenceHoles = 0, changesSaid = 0, holesFollowed = 0;
        auto clean = [&] {
            return intervalsOff <= holesFollowed + (strict ? 0 : referenceHoles) && (!strict || keysOff == 0);
        };
        auto found = [&] {
            return QString("%1 steps off the one before, %2 holes followed, the reference's holes %3, %4 keys off "
                           "their lead")
                .arg(intervalsOff)
                .arg(holesFollowed)
                .arg(referenceHoles)
                .arg(keysOff);
        };
        tryUntilClean(
            [&] {
                QTemporaryDir dir;
                ReferenceTone reference(dir.path(), 8);
                QLoggingCategory::setFilterRules(QStringLiteral("tamvolo.audio=true"));
                g_audioLog.clear();
                g_previousHandler = qInstallMessageHandler(keepAudioLog);
                struct Key
                {
                    int afterStep;
                    std::int64_t sinceDueNs;
                    std::int64_t leadNs;
                };
                std::vector<Key> keys;
                std::int64_t stepLeadNs = 0;
                PulseCapture capture;
                QVERIFY(capture.start());
                {
                    auto engine = std::make_shared<AudioEngine>();
                    QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
                    SoundBank bank(engine);
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    StepLoop loop;
                    loop.start(bank.nowNs());
                    stepLeadNs = engine->latencyNs();
                    for (int k = 0; k < kSteps; ++k) {
                        const int step = *loop.firstDue();
                        const std::int64_t due = *loop.dueNs(step);
                        sleepUntil(monotonicNs() + (due - bank.nowNs()) - 30'000'000);
                        bank.playStep("v.wav", loop.tick(step, bank.nowNs()));
                        if (k == 5)
                            setGraph(setting, value);
                        if (k == 15)
                            setGraph(setting, back);
                        if (k == 10 || k == 20) {
                            // A key 100 ms after the step, once the change has settled.
                            sleepUntil(monotonicNs() + (due + 100'000'000 - bank.nowNs()));
                            const std::int64_t pressed = bank.nowNs();
                            keys.push_back({k, pressed - due, engine->latencyNs()});
                            bank.playSample("b.wav", pressed);
                        }
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                }
                qInstallMessageHandler(g_previousHandler);
                QLoggingCategory::setFilterRules(QString());
                setGraph(setting, QStringLiteral("0"));
                capture.stop();
                const std::vector<float> out = capture.left();
                referenceHoles = int(ReferenceTone::holes(capture.side()).size());
                changesSaid = int(g_audioLog.filter(QStringLiteral("the graph runs at a quantum of")).size());
                holesFollowed = int(g_audioLog.filter(QStringLiteral("the graph played a hole")).size());

                // Each step near a step after the one before; the first, the
                // first kick a quarter of a second or more into the recording.
                std::vector<long long> onsets{onsetNear(out, kick, 48000, 24000)};
                QVERIFY(onsets.front() >= 0);
                intervalsOff = 0;
                for (int k = 1; k < kSteps; ++k) {
                    const long long at = onsetNear(out, kick, onsets.back() + 9600, 4800);
                    if (at < 0 || std::llabs(at - onsets.back() - 9600) > 48) {
                        qInfo("step %d comes %lld frames after the one before", k, at - onsets.back());
                        ++intervalsOff;
                    }
                    onsets.push_back(at < 0 ? onsets.back() + 9600 : at);
                }
                keysOff = 0;
                for (const Key &key : keys) {
                    const long long expected = onsets[std::size_t(key.afterStep)] +
                        (key.sinceDueNs + key.leadNs - stepLeadNs) * 48000 / 1'000'000'000;
                    const long long at = onsetNear(out, snare, expected, 2400);
                    qInfo("the key after step %d: lead %.2f ms, %s", key.afterStep, double(key.leadNs) / 1e6,
                          at < 0 ? "not heard" : qPrintable(QString("%1 frames from its place").arg(at - expected)));
                    if (at < 0 || std::llabs(at - expected) > 48)
                        ++keysOff;
                }
                qInfo("%s, %d changes said", qPrintable(found()), changesSaid);
            },
            clean, found);
        QVERIFY2(clean(), qPrintable(found()));
        // The first quantum, the change, and back; a rate change may reach
        // us in two updates of the graph (the rate, then the quantum scaled
        // to it), each said once.
        QVERIFY2(changesSaid >= 3 && changesSaid <= 5, qPrintable(QString::number(changesSaid)));
    }

    void theLoopSoundsSoonAfterAServerCanPlay_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("sessionLater");
        QTest::addColumn<bool>("sinklessPipeWire");
        QTest::newRow("PulseAudio started 5 s after the program") << "pulse-server.sh" << false << false;
        QTest::newRow("PipeWire whose session manager starts 5 s after the program")
            << "pipewire-server.sh" << true << false;
        QTest::newRow("a PipeWire without a sink beside a working PulseAudio") << "pulse-server.sh" << false << true;
    }

    void theLoopSoundsSoonAfterAServerCanPlay()
    {
        // The program starts before a sound server can play (none yet, or a
        // PipeWire that nothing links yet, or one without a sink beside a
        // PulseAudio that works): the loop is heard within 2 s of the server
        // being able to play.
        QFETCH(QString, script);
        QFETCH(bool, sessionLater);
        QFETCH(bool, sinklessPipeWire);
        QProcessEnvironment settings;
        if (sessionLater)
            settings.insert(QStringLiteral("TAMVOLO_PIPEWIRE_SESSION"), QStringLiteral("later"));
        const bool late = !sinklessPipeWire;
        PrivatePulseServer server(late && !sessionLater, script, settings);
        QVERIFY(late || server.ok());
        server.use();
        std::unique_ptr<PrivatePulseServer> sinkless;
        if (sinklessPipeWire) {
            QProcessEnvironment none;
            none.insert(QStringLiteral("TAMVOLO_PIPEWIRE_SESSION"), QStringLiteral("later"));
            none.insert(QStringLiteral("TAMVOLO_PIPEWIRE_SINK"), QStringLiteral("none"));
            sinkless = std::make_unique<PrivatePulseServer>(false, QStringLiteral("pipewire-server.sh"), none);
            QVERIFY(sinkless->ok());
            qputenv("PIPEWIRE_RUNTIME_DIR", sinkless->clientEnvironment().value("PIPEWIRE_RUNTIME_DIR").toLocal8Bit());
        }
        const std::vector<float> kick = kitSound("v.wav");
        auto engine = std::make_shared<AudioEngine>();
        SoundBank bank(engine);
        PulseCapture capture;
        QElapsedTimer sinceUsable;
        if (!late) {
            QVERIFY(capture.start());
            sinceUsable.start();
        }
        QElapsedTimer running;
        running.start();
        StepLoop loop;
        loop.start(bank.nowNs());
        qint64 heardAfterMs = -1;
        qint64 playableAfterMs = late ? -1 : 0;
        // Listened to for 5 s from when the server can play, however long
        // the server took to get there: 15 s from the program's start left
        // no time to listen where a busy machine was slow to start it.
        while (heardAfterMs < 0 && (sinceUsable.isValid() ? sinceUsable.elapsed() < 5000 : running.elapsed() < 60000)) {
            const int step = *loop.firstDue();
            sleepUntil(monotonicNs() + (*loop.dueNs(step) - bank.nowNs()) - 30'000'000);
            bank.playStep("v.wav", loop.tick(step, bank.nowNs()));
            if (late && !sinceUsable.isValid() && running.elapsed() >= 5000) {
                QVERIFY(sessionLater ? server.run("session") : server.start());
                QVERIFY(capture.start());
                sinceUsable.start();
                playableAfterMs = running.elapsed();
            }
            if (sinceUsable.isValid() && !Capture::findAll(capture.left(), kick, 144, 256).empty())
                heardAfterMs = sinceUsable.elapsed();
        }
        capture.stop();
        qInfo("the loop was heard %lld ms after the server could play, %lld ms after the program started", heardAfterMs,
              playableAfterMs);
        QVERIFY2(heardAfterMs >= 0, "the loop was not heard");
        QVERIFY2(heardAfterMs <= 2000, qPrintable(QString::number(heardAfterMs)));
    }

    void theOutputMovesToPipeWireOnceItsGraphCanPlay()
    {
        // The program started on PulseAudio, PipeWire not there yet (a login
        // still starting, a server restarted): once PipeWire's graph can
        // play, the sound moves to PipeWire's own stream within 2 s, said
        // once; what PulseAudio played last fades out, without a click.
        if (qEnvironmentVariable("TAMVOLO_PULSE_SCRIPT").contains(QStringLiteral("pipewire")))
            QSKIP("starts a PulseAudio and a PipeWire of its own: run once, with the PulseAudio fixture");
        PrivatePulseServer pulse(false, QStringLiteral("pulse-server.sh"));
        QVERIFY(pulse.ok());
        pulse.use();
        PrivatePulseServer pipeWire(true, QStringLiteral("pipewire-server.sh"));
        qputenv("PIPEWIRE_RUNTIME_DIR", pipeWire.clientEnvironment().value("PIPEWIRE_RUNTIME_DIR").toLocal8Bit());
        g_audioLog.clear();
        g_previousHandler = qInstallMessageHandler(keepAudioLog);
        QLoggingCategory::setFilterRules(QStringLiteral("tamvolo.audio.debug=true"));
        const std::vector<float> kick = kitSound("v.wav");
        PulseCapture before;
        QVERIFY(before.start());
        auto engine = std::make_shared<AudioEngine>();
        QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
        SoundBank bank(engine);
        QVERIFY(playUntilHeard(bank, before, kick, 5000) >= 0);

        QVERIFY(pipeWire.start());
        QElapsedTimer sincePlayable;
        sincePlayable.start();
        const QString moved = QStringLiteral("the output moves to it from PulseAudio");
        while (sincePlayable.elapsed() < 5000 && g_audioLog.filter(moved).isEmpty()) {
            bank.playSample("v.wav", bank.nowNs());
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const qint64 movedAfterMs = sincePlayable.elapsed();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        before.stop();
        GraphCapture after;
        QVERIFY(after.start());
        QElapsedTimer waited;
        waited.start();
        bool heard = false;
        while (!heard && waited.elapsed() < 3000) {
            bank.playSample("v.wav", bank.nowNs());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            heard = !Capture::findAll(after.left(), kick, 144, 256).empty();
        }
        after.stop();
        qInstallMessageHandler(g_previousHandler);
        QLoggingCategory::setFilterRules(QString());
        qInfo("the output moved %lld ms after PipeWire could play", movedAfterMs);
        QCOMPARE(g_audioLog.filter(moved).size(), 1);
        QVERIFY2(movedAfterMs <= 2000, qPrintable(QString::number(movedAfterMs)));
        QVERIFY2(heard, "nothing came out of PipeWire's sink");
        const std::vector<float> played = before.left();
        const auto lastSound =
            std::find_if(played.rbegin(), played.rend(), [](float x) { return std::abs(x) > 1e-3f; });
        const std::size_t silentFrom = std::size_t(played.rend() - lastSound);
        const auto clicks = ClickDetector::find(played);
        QVERIFY(std::none_of(clicks.begin(), clicks.end(), [&](std::size_t at) { return at >= silentFrom; }));
    }

    // Each step the cushion grows by queues more on the server, real
    // PulseAudio and pipewire-pulse alike, and the quiet cushion leaves the
    // sink well above its smallest latency (half a millisecond), at which it
    // would wake for every stream on it all the time.
    void eachCushionStepQueuesMoreAndSparesTheSink()
    {
        const Granted first = grantedFor(PulseOutput::bufferFor(PulseOutput::kQuietCushionFrames));
        QVERIFY(first.requestFrames > 0);
        const int quiet = PulseOutput::quietCushionFor(int(first.requestFrames));
        Granted before;
        for (int cushion = quiet; cushion <= std::max(quiet, PulseOutput::kMaxCushionFrames);
             cushion += PulseOutput::kCushionStepFrames) {
            const Granted granted = grantedFor(PulseOutput::bufferFor(cushion));
            qInfo("a cushion of %d frames: %lld queued, requests of %lld, the sink at %lld", cushion,
                  granted.queueFrames, granted.requestFrames, granted.sinkFrames);
            QVERIFY2(granted.queueFrames > before.queueFrames, qPrintable(QString::number(cushion)));
            // Four times the smallest at least; pipewire-pulse says no
            // configured latency (0).
            if (cushion == quiet && granted.sinkFrames != 0)
                QVERIFY2(granted.sinkFrames >= 96, qPrintable(QString::number(granted.sinkFrames)));
            before = granted;
        }
    }

    void closingDoesNotWaitForAFrozenServer()
    {
        PrivatePulseServer server;
        QVERIFY(server.ok());
        server.use();
        QElapsedTimer closing;
        {
            auto engine = std::make_shared<AudioEngine>();
            QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
            SoundBank bank(engine);
            bank.playSample("v.wav", bank.nowNs());
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            server.signal("STOP");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            bank.playSample("v.wav", bank.nowNs()); // returns at once all the same
            closing.start();
        }
        const qint64 took = closing.elapsed();
        server.signal("CONT");
        qInfo("closed in %lld ms with the server frozen", took);
        // Three waits of 400 ms at the most (the engine's thread, the stream,
        // the bank's thread), and room for a busy machine: not a server's
        // timeout of many seconds.
        QVERIFY2(took < 2000, qPrintable(QString::number(took)));
    }
};

QTEST_GUILESS_MAIN(TestRealServer)
#include "tst_realserver.moc"
