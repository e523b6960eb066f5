#include "audio/AudioEngine.h"
#include "audio/core/Limiter.h"
#include "audio/inputs/MidiInput.h"
#include "keys/DrumMap.h"
#include "keys/PadTable.h"
#include "keys/Velocity.h"
#include "sound/KitCatalog.h"
#include "sound/KitSampleDecoder.h"
#include "sound/KitSounds.h"
#include "sound/MidiPlayer.h"
#include "sound/SampleFolders.h"
#include "sound/SampleService.h"
#include "sound/SoundBank.h"
#include "sound/WavLoader.h"
#include "support/GraphCapture.h"
#include "support/MidiFile.h"
#include "support/Onsets.h"
#include "support/Tries.h"
#include "support/WavBytes.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <thread>

namespace {

// A sanitized build runs several times slower than the one users run: the
// graph loses cycles through the hits, which it cannot be asked to find.
// There two kits are loaded and played, every path driven, and heard; the
// sounds are matched to their files in the optimized build.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kMatched = false;
#else
constexpr bool kMatched = true;
#endif

constexpr int kTicksApart = 240; // 250 ms: a tick is 50 frames
// Notes 35 to 59 hold nine cymbals, which most kits play with one crash:
// soft enough that they ring under each other without the mix turning down.
constexpr int kSweepVelocity = 40;
// A key's sound fades the one before it out over a few milliseconds, which
// can drown a quiet hi-hat's first ones: looked for past them.
constexpr std::size_t kPastFade = 480;
// Of a kit's 34 sounds, how many may stay hidden from the search in all
// three tries: a soft hit under a pile of cymbals still ringing, where the
// mix turned them down, leaves too little of its own to be matched.
constexpr qsizetype kMayHide = 2;

// Both channels of `sound`, the louder one's attack (where it first rises to
// a tenth of its peak) looked for: what a capture holds of it, at its pan.
struct Expected
{
    std::array<std::vector<float>, 2> channels;
    int louder = 0;
    std::size_t attack = 0;
    const std::vector<float> &wave() const { return channels[std::size_t(louder)]; }
};

Expected expected(const std::shared_ptr<const SampleBuffer> &sound, float left = 1.0f, float right = 1.0f)
{
    Expected e;
    if (!sound)
        return e;
    std::array<float, 2> peaks{};
    for (int c = 0; c < 2; ++c) {
        std::vector<float> &wave = e.channels[std::size_t(c)];
        wave.resize(sound->frames());
        for (std::size_t i = 0; i < wave.size(); ++i)
            peaks[std::size_t(c)] =
                std::max(peaks[std::size_t(c)], std::abs(wave[i] = sound->at(i, c) * (c ? right : left)));
    }
    e.louder = peaks[1] > peaks[0] ? 1 : 0;
    while (e.attack < e.wave().size() && std::abs(e.wave()[e.attack]) < peaks[std::size_t(e.louder)] / 10)
        ++e.attack;
    return e;
}

// What the kit's own file says `instrument` plays at `velocity`: the first
// layer whose range holds it, decoded from that file; `alone`, at its
// loudness as the mix turns it down where it needs to (a hard hit heard
// alone: a kit's samples peak near full scale).
Expected fromKitFile(const Kit::Instrument &instrument, int velocity, bool alone = false)
{
    for (const Kit::Layer &layer : instrument.layers) {
        if (velocity < layer.minVelocity || velocity > layer.maxVelocity)
            continue;
        std::string why;
        // The pan as a balance: the far side turned down.
        const float pan = std::clamp(instrument.pan, -1.0f, 1.0f);
        const auto sample =
            KitSampleDecoder::load(layer.file, int(std::lround(48000 / std::pow(2.0, layer.pitch / 12.0))), why);
        float left = std::min(1.0f, 1.0f - pan), right = std::min(1.0f, 1.0f + pan);
        if (!alone || !sample)
            return expected(sample, left, right);
        const float gain = Velocity::loudness(std::uint8_t(velocity)) * layer.gain * instrument.volume;
        auto heard = std::make_shared<SampleBuffer>();
        heard->samples = sample->stereo();
        for (std::size_t f = 0; f < heard->frames(); ++f) {
            heard->samples[2 * f] *= gain * left;
            heard->samples[2 * f + 1] *= gain * right;
        }
        Limiter(48000).process(heard->samples.data(), int(heard->frames()));
        return expected(heard);
    }
    return {};
}

// What note `note` plays at `velocity` with `kit`: the kit's instrument, else the built-in sound.
Expected forNote(const Kit &kit, const KitSounds &sounds, int note, int velocity)
{
    const int i = sounds.instrumentForNote(std::uint8_t(note));
    if (i >= 0)
        return fromKitFile(kit.instruments[std::size_t(i)], velocity);
    const auto files = PadTable::lookup(DrumMap::generalMidi(std::uint8_t(note)));
    return files.empty() ? Expected{}
                         : expected(WavLoader::load(SampleFolders::program() + std::string(files.back()), 48000));
}

} // namespace

// Every Hydrogen drumkit Debian ships (hydrogen-data, hydrogen-drumkits),
// loaded as a user's: through a real PipeWire graph (the fixture's private
// server), its seven drum keys and the notes 35 to 59 from a pad are heard,
// each the sample the kit's own file names; a soft and a hard snare, each
// its layer's. A hit is looked for under the hits still ringing; a busy
// machine (a lost cycle through a hit, a pad late) can hide one: a kit is
// played up to three times, and each sound must be heard in one of them (a
// sound of ours that is wrong is wrong every time), but for kMayHide.
class TestKitsPlayed : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_engine = std::make_shared<AudioEngine>();
        QVERIFY(m_engine->waitForOutput(std::chrono::seconds(5)));
        m_bank = std::make_unique<SoundBank>(m_engine);
        m_player = std::make_unique<MidiPlayer>(m_engine,
                                                std::make_unique<MidiInput>(m_engine->midiHub(), MidiInput::Links::All),
                                                nullptr, m_bank->samples(), std::string());
    }

    void cleanupTestCase()
    {
        m_player.reset();
        m_bank.reset();
        m_engine.reset();
    }

    void everyKitOfDebianSoundsAsItsFileSays_data()
    {
        QTest::addColumn<QString>("path");
        int rows = 0;
        for (const KitCatalog::Entry &entry : KitCatalog::list())
            if (entry.path.rfind("/usr/share/hydrogen/", 0) == 0 && (kMatched || rows < 2) && ++rows)
                QTest::newRow(entry.name.c_str()) << QString::fromStdString(entry.path);
        if (rows == 0)
            QTest::newRow("no kit") << QString();
    }

    void everyKitOfDebianSoundsAsItsFileSays()
    {
        QFETCH(QString, path);
        if (path.isEmpty())
            QSKIP("Debian's Hydrogen drumkits are not installed (hydrogen-data, hydrogen-drumkits)");
        SoundBank &bank = *m_bank;
        KitCatalog::Entry entry;
        entry.path = path.toStdString();
        entry.name = QTest::currentDataTag();
        QStringList unheard;
        bool busy = false;
        {
            Kit kit;
            std::string why;
            QVERIFY2(KitCatalog::read(entry.path, kit, why), why.c_str());
            const auto sounds = KitSounds::load(kit, 48000);
            QVERIFY(sounds);
            bank.samples()->setKit(sounds);
            std::this_thread::sleep_for(std::chrono::milliseconds(1300)); // the player publishes it
            QStringList missed;
            std::optional<QStringList> everyTime; // missed on every try so far
            bool everyTryMissed = true;           // the program said it missed cycles or hits' moments in each
            tryUntilClean(
                [&] {
                    missed.clear();
                    const std::uint64_t missedBefore = m_engine->lateBlocks() + m_engine->lateOnsets();
                    GraphCapture capture;
                    QVERIFY(capture.start());
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    // The seven keys, 200 ms apart.
                    static constexpr const char *kFiles[] = {"v.wav", "b.wav", "J.wav", "h.wav",
                                                             "g.wav", "f.wav", "k.wav"};
                    for (const char *file : kFiles) {
                        bank.playSample(file, bank.nowNs());
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    }
                    // The crash's key cut short (the window's one voice): its tail is not under the pad's soft snare.
                    const QByteArray silence = WavBytes::constant(48, 0.0);
                    bank.playWav(std::string(silence.constData(), std::size_t(silence.size())));
                    // Then the pad: the snare soft and hard, a second apart, and every note from 35 to 59.
                    const int snare = sounds->instrumentForKey(1);
                    std::vector<MidiFile::Hit> hits;
                    std::vector<Expected> heard;
                    if (snare >= 0) {
                        for (const int velocity : {20, 120}) {
                            hits.push_back({480 + 960 * int(hits.size()),
                                            kit.instruments[std::size_t(snare)].note >= 0
                                                ? kit.instruments[std::size_t(snare)].note
                                                : 38,
                                            velocity});
                            heard.push_back(fromKitFile(kit.instruments[std::size_t(snare)], velocity, true));
                        }
                    }
                    for (int note = 35; note <= 59; ++note) {
                        hits.push_back({2400 + kTicksApart * (note - 35), note, kSweepVelocity});
                        heard.push_back(forNote(kit, *sounds, note, kSweepVelocity));
                    }
                    QTemporaryDir dir;
                    const QString file = dir.filePath(QStringLiteral("hits.mid"));
                    QVERIFY(MidiFile::write(file, hits));
                    QProcess pad;
                    pad.start(QStringLiteral("pw-midiplay"), {"--target", "0", file});
                    QVERIFY(pad.waitForFinished(20000));
                    std::this_thread::sleep_for(std::chrono::milliseconds(800));
                    capture.stop();
                    const std::array<std::vector<float>, 2> out = {capture.onGraphClock(0), capture.onGraphClock(1)};
                    everyTryMissed = everyTryMissed && m_engine->lateBlocks() + m_engine->lateOnsets() > missedBefore;
                    if (!kMatched) {
                        QVERIFY(std::any_of(out[0].begin(), out[0].end(), [](float x) { return std::abs(x) > 0.01f; }));
                        return;
                    }

                    // The keys: each found after the one before.
                    long long from = 0;
                    for (const char *key : kFiles) {
                        const Expected e = expected(bank.samples()->find(key));
                        const long long at = onsetNear(out[std::size_t(e.louder)], e.wave(), from + 9600, 4800,
                                                       e.attack + kPastFade, 256);
                        if (at < 0)
                            missed << QString("%1: the key of %2").arg(entry.name.c_str(), key);
                        from = at >= 0 ? at : from + 9600;
                    }
                    // The hits, each near where the one before puts it, found in
                    // what the hits before it do not explain (hits layer: a crash
                    // rings under the next ones; a hit its choke group cuts rings
                    // no further), each taken at the level it was heard.
                    struct Found
                    {
                        const Expected *e;
                        long long at;
                        float gain;
                        std::uint8_t group;
                        std::size_t until; // subtracted from the rest up to here
                    };
                    std::vector<Found> ringing;
                    std::array<std::vector<float>, 2> rest = out;
                    const auto subtract = [&](Found &f, std::size_t to) {
                        for (std::size_t c = 0; c < 2; ++c)
                            for (std::size_t j = f.until;
                                 j < to && j < f.e->channels[c].size() && std::size_t(f.at) + j < rest[c].size(); ++j)
                                rest[c][std::size_t(f.at) + j] -= f.gain * f.e->channels[c][j];
                        f.until = std::max(f.until, to);
                    };
                    long long last = -1; // the last hit found, and its tick
                    int lastTick = 0;
                    for (std::size_t i = 0; i < hits.size(); ++i) {
                        const Expected &e = heard[i];
                        QVERIFY2(
                            !e.wave().empty(),
                            qPrintable(QString("%1: note %2 plays nothing").arg(entry.name.c_str()).arg(hits[i].note)));
                        const long long place = last < 0 ? from + 96000 : last + 50LL * (hits[i].tick - lastTick);
                        const int instrument = sounds->instrumentForNote(std::uint8_t(hits[i].note));
                        const std::uint8_t chokes =
                            instrument >= 0 ? sounds->instruments()[std::size_t(instrument)].chokes : std::uint8_t(0);
                        for (Found &f : ringing) {
                            if (f.group & chokes)
                                f.e = nullptr; // cut here: nothing more of it to take away
                            else
                                subtract(
                                    f,
                                    std::size_t(std::max(0LL, place + 25LL * (hits[i].tick - lastTick) + 2048 - f.at)));
                        }
                        std::erase_if(ringing, [](const Found &f) { return f.e == nullptr; });
                        // Anywhere between the hits either side: a graph that lost
                        // a cycle plays the rest a cycle later.
                        const long long window = last < 0 ? 96000 : 25LL * (hits[i].tick - lastTick);
                        const std::vector<float> &heardSide = rest[std::size_t(e.louder)];
                        long long at = last < 0 ? -1 : onsetNear(heardSide, e.wave(), place, window, e.attack, 256);
                        // The first: the earliest after the keys (later hits may play the same sample).
                        for (long long start = from + 2400; last < 0 && at < 0 && start < (long long)heardSide.size();
                             start += 24000)
                            at = onsetNear(heardSide, e.wave(), start + 12000, 12000, e.attack, 256);
                        if (at < 0) {
                            missed << QString("%1: note %2 at velocity %3")
                                          .arg(entry.name.c_str())
                                          .arg(hits[i].note)
                                          .arg(hits[i].velocity);
                            if (last >= 0) {
                                last = place;
                                lastTick = hits[i].tick;
                            }
                            continue;
                        }
                        // Where it fits best to the frame, and at what level: what
                        // the rest keeps of it is least there.
                        double leastLeft = -1;
                        Found found{&e, at, 0.0f,
                                    instrument >= 0 ? sounds->instruments()[std::size_t(instrument)].group
                                                    : std::uint8_t(0),
                                    0};
                        for (long long p = std::max(0LL, at - 2); p <= at + 2; ++p) {
                            double ab = 0, bb = 0, aa = 0;
                            for (std::size_t j = e.attack; j < e.attack + 1024 && std::size_t(p) + j < heardSide.size();
                                 ++j) {
                                ab += double(heardSide[std::size_t(p) + j]) * e.wave()[j];
                                bb += double(e.wave()[j]) * e.wave()[j];
                                aa += double(heardSide[std::size_t(p) + j]) * heardSide[std::size_t(p) + j];
                            }
                            const double left = bb > 0 ? aa - ab * ab / bb : aa;
                            if (leastLeft < 0 || left < leastLeft) {
                                leastLeft = left;
                                found.at = p;
                                found.gain = bb > 0 ? float(ab / bb) : 0.0f;
                            }
                        }
                        last = found.at;
                        lastTick = hits[i].tick;
                        ringing.push_back(found);
                    }
                },
                [&] {
                    QStringList both;
                    for (const QString &m : missed)
                        if (!everyTime || everyTime->contains(m))
                            both << m;
                    everyTime = both;
                    return both.isEmpty();
                },
                [&] { return missed.join("; "); });
            unheard << everyTime.value_or(QStringList());
            busy = busy || (everyTryMissed && unheard.size() > kMayHide);
            bank.samples()->setKit(nullptr);
        }
        if (!unheard.isEmpty())
            qInfo("not found in any try: %s", qPrintable(unheard.join("; ")));
        if (busy)
            QSKIP("the program said in every try that it missed cycles or hits' moments: the kit is judged where "
                  "it kept them");
        QVERIFY2(unheard.size() <= kMayHide, qPrintable(unheard.join("\n")));
    }

private:
    std::shared_ptr<AudioEngine> m_engine;
    std::unique_ptr<SoundBank> m_bank;
    std::unique_ptr<MidiPlayer> m_player;
};

QTEST_MAIN(TestKitsPlayed)
#include "tst_kits_played.moc"
