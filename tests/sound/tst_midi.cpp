#include "app/Form1.h"
#include "audio/AudioEngine.h"
#include "audio/core/Limiter.h"
#include "audio/inputs/MidiInput.h"
#include "keys/Velocity.h"
#include "sound/MidiPlayer.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/GraphCapture.h"
#include "support/MidiFile.h"
#include "support/PulseCapture.h"
#include "support/RecordingSink.h"
#include "support/Tries.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <thread>

Q_DECLARE_METATYPE(std::vector<MidiFile::Hit>)
Q_DECLARE_METATYPE(MidiInput::Links)

namespace {

// A sanitized build runs several times slower than the one users run: the
// deadlines that place each hit to the frame and keep the graph whole are
// not kept (the player's thread, the graph's cycles), and a cycle lost
// through a hit leaves it unfound. There the hits are driven through every
// path and heard; their placement and their count are judged in the
// optimized build, here and in the benchmarks.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kPlacedToTheFrame = false;
#else
constexpr bool kPlacedToTheFrame = true;
#endif

std::vector<float> kitSound(const char *file, float gain = 1.0f)
{
    const auto s = WavLoader::load(SampleFolders::program() + file, 48000);
    std::vector<float> stereo = s ? s->stereo() : std::vector<float>();
    for (float &x : stereo)
        x *= gain;
    return stereo;
}

// Who plays the hits: pw-midiplay, another program's MIDI output, playing a
// file the test writes; or the stand-in for a hardware pad on a MIDI bridge
// with a clock of its own (midi_pad).
enum class Source { Program, Pad };

// What comes out of the graph's sink while `source` plays `hits` into the
// program's MIDI input (the source appearing after the program started),
// the left channel; the program linking sources as `links` says. What the
// pad said of its cycles goes to `cycles`.
std::vector<float> played(const std::vector<MidiFile::Hit> &hits, MidiInput::Links links = MidiInput::Links::All,
                          Source source = Source::Program, QString *cycles = nullptr, std::uint64_t *missed = nullptr)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("hits.mid"));
    if (!MidiFile::write(file, hits))
        return {};
    QStringList padHits;
    for (const MidiFile::Hit &hit : hits) // a tick is 1/960 s: 50 frames
        padHits << QString("%1:%2:%3").arg(hit.tick * 50).arg(hit.note).arg(hit.velocity);
    GraphCapture capture;
    if (!capture.start())
        return {};
    {
        auto engine = std::make_shared<AudioEngine>();
        if (!engine->waitForOutput(std::chrono::seconds(5)))
            return {};
        MidiPlayer player(engine, std::make_unique<MidiInput>(engine->midiHub(), links), nullptr, nullptr,
                          std::string());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        // Not linked, a source is never run by the graph: it is stopped.
        QProcess pad;
        if (source == Source::Pad)
            pad.start(QCoreApplication::applicationDirPath() + "/midi_pad", padHits);
        else
            pad.start(QStringLiteral("pw-midiplay"), {"--target", "0", file});
        if (!pad.waitForFinished(links != MidiInput::Links::None ? 15000 : 2000))
            pad.kill();
        pad.waitForFinished(5000);
        if (cycles)
            *cycles = QString::fromUtf8(pad.readAllStandardOutput()).trimmed();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (missed)
            *missed = engine->lateBlocks() + engine->lateOnsets();
    }
    capture.stop();
    return capture.onGraphClock();
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return 0;
}

std::vector<float> leftOfStereo(const std::vector<float> &stereo)
{
    std::vector<float> left(stereo.size() / 2);
    for (std::size_t i = 0; i < left.size(); ++i)
        left[i] = stereo[2 * i];
    return left;
}

} // namespace

Q_DECLARE_METATYPE(Source)

// Playing from a MIDI pad through a real PipeWire graph (the fixture's
// private server): pw-midiplay of a file the test writes is the pad, linked
// by the program itself; what comes out of the sink is recorded.
class TestMidi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("PIPEWIRE_RUNTIME_DIR"), "runs with the private PipeWire server");
        qunsetenv("TAMVOLO_AUDIO");
        qunsetenv("SDL_AUDIODRIVER");
    }

    void hitsSoundAsTheFileHasThem_data()
    {
        QTest::addColumn<std::vector<MidiFile::Hit>>("hits");
        QTest::addColumn<QString>("heard");
        QTest::addColumn<QByteArray>("output"); // TAMVOLO_AUDIO
        std::vector<MidiFile::Hit> fourASecond;
        for (int i = 0; i < 12; ++i)
            fourASecond.push_back({480 + 240 * i, 42, 127});
        QTest::newRow("four hits a second, each 12000 frames after the one before")
            << fourASecond << "spacing" << QByteArray();
        QTest::newRow("a kick and a closed hi-hat on one tick both sound")
            << std::vector<MidiFile::Hit>{{480, 36, 100}, {480, 42, 100}} << "layered" << QByteArray();
        QTest::newRow("the closed hi-hat chokes the open one")
            << std::vector<MidiFile::Hit>{{480, 46, 127}, {528, 42, 127}} << "choked" << QByteArray();
        QTest::newRow("kick, snare, crash, tom and closed hi-hat at 127 on one tick never reach full scale")
            << std::vector<MidiFile::Hit>{{480, 36, 127},
                                          {480, 38, 127},
                                          {480, 49, 127},
                                          {480, 48, 127},
                                          {480, 42, 127}}
            << "full scale" << QByteArray();
        std::vector<MidiFile::Hit> sweep;
        for (int velocity = 1, i = 0; velocity <= 127; velocity += 14, ++i)
            sweep.push_back({480 + 480 * i, 36, velocity});
        QTest::newRow("loudness rises with velocity, the softest heard") << sweep << "velocity" << QByteArray();
        // Beside PulseAudio or SDL, or a graph at another rate: the MIDI
        // input a node of its own, the hit played a cycle later.
        QTest::newRow("the two-node way: four hits a second, 12000 frames apart")
            << fourASecond << "spacing" << QByteArray("pipewire-stream");
        QTest::newRow("the two-node way: the closed hi-hat chokes the open one")
            << std::vector<MidiFile::Hit>{{480, 46, 127}, {528, 42, 127}} << "choked" << QByteArray("pipewire-stream");
    }

    void hitsSoundAsTheFileHasThem()
    {
        QFETCH(std::vector<MidiFile::Hit>, hits);
        QFETCH(QString, heard);
        QFETCH(QByteArray, output);
        qputenv("TAMVOLO_AUDIO", output);
        std::uint64_t firstMissed = 0;
        const std::vector<float> out = played(hits, MidiInput::Links::All, Source::Program, nullptr, &firstMissed);
        QVERIFY(!out.empty());
        const std::vector<float> kick = kitSound("v.wav");
        if (heard == QLatin1String("spacing")) {
            // A cycle the whole graph lost is silence in the recording, as
            // long as it was; a hit such a cycle cut through is not found:
            // such a try is played again; a hit off its place fails every
            // try.
            int off = 0;
            int found = 0;
            QStringList spacings;
            std::vector<float> tried = out;
            std::uint64_t missed = firstMissed; // what the program itself said it missed: cycles, hits come late
            tryUntilClean(
                [&] {
                    if (tried.empty())
                        tried = played(hits, MidiInput::Links::All, Source::Program, nullptr, &missed);
                    const auto onsets = Capture::findAll(tried, kitSound("J.wav"), 144, 256);
                    tried.clear();
                    found = int(onsets.size());
                    off = 0;
                    spacings.clear();
                    for (std::size_t i = 1; i < onsets.size(); ++i) {
                        off += onsets[i] - onsets[i - 1] != 12000LL ? 1 : 0;
                        spacings << QString::number(onsets[i] - onsets[i - 1]);
                    }
                },
                [&] { return kPlacedToTheFrame ? off == 0 && found == int(hits.size()) : found > 0; },
                [&] {
                    return QString("%1 hits of %2 found, %3 not 12000 frames after the one before (%4)")
                        .arg(found)
                        .arg(hits.size())
                        .arg(off)
                        .arg(spacings.join(' '));
                });
            QVERIFY(found > 0);
            if (kPlacedToTheFrame && missed > 0 && (off > 0 || found < int(hits.size()))) {
                // Every try on a machine too busy for the program, which said
                // so: a hit's place is judged where it kept its deadlines.
                qInfo("placement not judged: the program missed %llu cycles or hits' moments in the last try",
                      (unsigned long long)missed);
            } else if (kPlacedToTheFrame) {
                QCOMPARE(found, int(hits.size()));
                QCOMPARE(off, 0);
            }
        } else if (heard == QLatin1String("layered")) {
            const float gain = Velocity::loudness(100);
            std::vector<float> both = kitSound("v.wav", gain);
            const std::vector<float> hat = kitSound("J.wav", gain);
            for (std::size_t i = 0; i < hat.size(); ++i)
                both[i] += hat[i];
            const bool layered = Capture::find(out, both, 0, 0, 2048, 1e-5f) >= 0;
            if (!layered && (!kPlacedToTheFrame || firstMissed > 0))
                QSKIP("the program said it missed cycles or hits' moments (a cycle lost through the two hits): "
                      "judged where it kept them");
            QVERIFY(layered);
        } else if (heard == QLatin1String("choked")) {
            // The open one, then from the closed one's onset and its fade of
            // the open one on, the closed one alone.
            const std::vector<float> hat = kitSound("J.wav");
            const auto onsets = Capture::findAll(out, hat, 144, 512);
            QVERIFY(!onsets.empty());
            const bool placed = onsets.size() == 2 && onsets[1] - onsets[0] == 2400LL;
            if (kPlacedToTheFrame && !placed && firstMissed > 0)
                QSKIP("the program said it missed cycles or hits' moments: placement judged where it kept them");
            if (kPlacedToTheFrame) {
                QCOMPARE(int(onsets.size()), 2);
                QCOMPARE(onsets[1] - onsets[0], 2400LL);
            }
        } else if (heard == QLatin1String("full scale")) {
            const float loudest = std::abs(
                *std::max_element(out.begin(), out.end(), [](float a, float b) { return std::abs(a) < std::abs(b); }));
            qInfo("the loudest sample: %.3f", double(loudest));
            QVERIFY(loudest > 0.9f);
            QVERIFY(loudest <= Limiter::kCeiling + 1e-4f);
        } else {
            // Each hit's peak, from its onset (found at full level, the last)
            // backwards, a step of 480 ticks (24000 frames) apart.
            if (!kPlacedToTheFrame) {
                QVERIFY(std::any_of(out.begin(), out.end(), [](float x) { return std::abs(x) > 0.01f; }));
                QSKIP("each hit is looked for where its place puts it: judged in the optimized build");
            }
            const auto loudest = Capture::findAll(out, kick, 144, 256);
            QCOMPARE(int(loudest.size()), 1);
            const std::vector<float> kickLeft = leftOfStereo(kick);
            const float kickPeak = *std::max_element(kickLeft.begin(), kickLeft.end());
            std::vector<float> peaks;
            for (std::size_t i = 0; i < hits.size(); ++i) {
                const long long from = loudest.front() - 24000LL * (long long)(hits.size() - 1 - i);
                QVERIFY(from >= 0);
                peaks.push_back(*std::max_element(out.begin() + from, out.begin() + from + 4800));
            }
            const double softestDb = 20 * std::log10(peaks.front() / kickPeak);
            qInfo("velocity 1 is %.1f dB below the key's level", softestDb);
            bool rising = true;
            for (std::size_t i = 1; i < peaks.size() - 1; ++i)
                rising = rising && peaks[i] > peaks[i - 1];
            if (firstMissed > 0 && (!rising || softestDb <= -33 || softestDb >= -27))
                QSKIP("each hit is looked for where its place puts it, and the program said it missed cycles or "
                      "hits' moments: judged where it kept them");
            QVERIFY(rising);
            QVERIFY(softestDb > -33 && softestDb < -27);
            QVERIFY(std::abs(peaks.back() - kickPeak) < 1e-4f);
        }
    }

    void aFloodOfNotesLeavesTheWindowAnsweringAndMemoryFlat()
    {
        // 960 notes a second for 10 s, each lighting its drum on the window
        // as the program does it; meanwhile a timer of the UI thread keeps
        // ticking, and the memory stays where it was. Every note that comes
        // is played (pw-midiplay itself passes on only about nine events in a
        // cycle: at this rate it drops some).
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("flood.mid"));
        std::vector<MidiFile::Hit> hits;
        for (int i = 0; i < 9600; ++i)
            hits.push_back({480 + i, 35 + i % 16, 1 + i % 127});
        QVERIFY(MidiFile::write(file, hits));
        RecordingSink sink;
        Form1 form(sink, Platform::system(), false);
        form.Form_Load();
        form.show();
        auto engine = std::make_shared<AudioEngine>();
        QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
        std::atomic<int> heard{0};
        QPointer<Form1> window(&form);
        MidiPlayer player(
            engine, std::make_unique<MidiInput>(engine->midiHub(), MidiInput::Links::All),
            [&heard, window](const MidiPlayer::Heard &note) {
                ++heard;
                QMetaObject::invokeMethod(
                    window,
                    [window, note] {
                        if (window)
                            window->midiNote(note.note, note.key);
                    },
                    Qt::QueuedConnection);
            },
            nullptr, std::string());
        QTest::qWait(500);
        const long startKb = residentKb();
        QElapsedTimer sinceTick;
        sinceTick.start();
        qint64 longestGap = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        ticker.start(20);
        QProcess pad;
        pad.start(QStringLiteral("pw-midiplay"), {"--target", "0", file});
        QTRY_VERIFY_WITH_TIMEOUT(pad.state() == QProcess::NotRunning, 30000);
        QTest::qWait(500);
        const long endKb = residentKb();
        qInfo("%d notes heard, %llu lost; the UI thread's longest gap %lld ms; memory %ld kB, then %ld kB",
              heard.load(), (unsigned long long)player.lostHits(), longestGap, startKb, endKb);
        QVERIFY(heard >= 8000);
        QCOMPARE(player.lostHits(), std::uint64_t(0));
        QVERIFY2(longestGap < 250, qPrintable(QString::number(longestGap)));
#if !defined(__SANITIZE_ADDRESS__)
        // (AddressSanitizer holds what is freed in quarantine, and its leak
        // check at exit is the one that counts there.)
        QVERIFY2(endKb - startKb < 20000, qPrintable(QString::number(endKb - startKb)));
#endif
    }

    void aSourceGoneMidStreamLeavesNothingStuck()
    {
        // A pad unplugged while it plays, then another plugged in: the
        // second plays as the first did.
        QTemporaryDir dir;
        std::vector<MidiFile::Hit> long_, short_{{480, 42, 127}};
        for (int i = 0; i < 40; ++i)
            long_.push_back({480 + 240 * i, 36, 127});
        QVERIFY(MidiFile::write(dir.filePath("long.mid"), long_));
        QVERIFY(MidiFile::write(dir.filePath("short.mid"), short_));
        PulseCapture capture;
        QVERIFY(capture.start());
        {
            auto engine = std::make_shared<AudioEngine>();
            QVERIFY(engine->waitForOutput(std::chrono::seconds(5)));
            MidiPlayer player(engine, std::make_unique<MidiInput>(engine->midiHub(), MidiInput::Links::All), nullptr,
                              nullptr, std::string());
            QTest::qWait(500);
            QProcess first;
            first.start(QStringLiteral("pw-midiplay"), {"--target", "0", dir.filePath("long.mid")});
            QTest::qWait(1500);
            first.kill();
            first.waitForFinished(5000);
            QTest::qWait(1000);
            QProcess::execute(QStringLiteral("pw-midiplay"), {"--target", "0", dir.filePath("short.mid")});
            QTest::qWait(500);
        }
        capture.stop();
        QCOMPARE(Capture::findAll(capture.left(), kitSound("J.wav"), 144, 256).size(), std::size_t(1));
    }

    void theInputLinksWhatADrummerPlugsIn_data()
    {
        QTest::addColumn<MidiInput::Links>("links");
        QTest::addColumn<Source>("source");
        QTest::addColumn<bool>("heard");
        QTest::newRow("a pad plugged in later is linked, and plays in the output's cycles")
            << MidiInput::Links::Hardware << Source::Pad << true;
        QTest::newRow("another program's MIDI output is not linked by default")
            << MidiInput::Links::Hardware << Source::Program << false;
        QTest::newRow("with linking left to the user, not even a pad is linked")
            << MidiInput::Links::None << Source::Pad << false;
    }

    void theInputLinksWhatADrummerPlugsIn()
    {
        QFETCH(MidiInput::Links, links);
        QFETCH(Source, source);
        QFETCH(bool, heard);
        std::vector<MidiFile::Hit> hits;
        for (int i = 0; i < 8; ++i)
            hits.push_back({480 + 240 * i, 42, 127});
        QString cycles;
        int off = 0;
        std::size_t found = 0;
        tryUntilClean(
            [&] {
                const std::vector<float> out = played(hits, links, source, &cycles);
                QVERIFY(!out.empty());
                const auto onsets = Capture::findAll(out, kitSound("J.wav"), 144, 256);
                found = onsets.size();
                off = 0;
                for (std::size_t i = 1; i < onsets.size(); ++i)
                    off += onsets[i] - onsets[i - 1] != 12000LL ? 1 : 0;
            },
            [&] { return (off == 0 && found == (heard ? hits.size() : 0)) || !kPlacedToTheFrame; },
            [&] { return QString("%1 hits not 12000 frames after the one before").arg(off); });
        qInfo("the pad: %s", qPrintable(cycles));
        if (!heard)
            QCOMPARE(found, std::size_t(0));
        else if (!kPlacedToTheFrame)
            QVERIFY(found > 0);
        else
            QCOMPARE(found, hits.size());
        if (kPlacedToTheFrame)
            QCOMPARE(off, 0);
        if (heard) // on the output's driver, in its cycles, not on the bridge's own at 1,024
            QVERIFY2(cycles.startsWith(QStringLiteral("cycles of 256 frames, driven by another driver")),
                     qPrintable(cycles));
    }
};

QTEST_MAIN(TestMidi)
#include "tst_midi.moc"
