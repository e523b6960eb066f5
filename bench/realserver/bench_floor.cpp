// The pad's hit against the floor, side by side in one private PipeWire
// graph: jack_midisine (JACK's example synthesizer, run through pw-jack),
// which sounds each note on the frame of its event in the cycle it comes,
// beside the program (MidiInput and MidiPlayer on the engine, as the program
// runs them). The same MIDI source is linked to both; the sink's monitor is
// recorded once, ours on the left, the reference's on the right, so that the
// two onsets of each hit are compared on one clock. The source: pw-midiplay
// playing a file of closed hi-hats, four a second; then the stand-in for a
// pad behind the MIDI bridge (midi_pad: a driver of its own at 1,024 frames).
// For each quantum, quiet and with both cores busy: hits sent, heard by each
// (onsets after silence, found alike on both sides), our holes (as the engine
// says them), and ours after the reference's (median, spread, range).
// With --two-nodes, the program as it plays beside PulseAudio or SDL: the
// output a stream, the MIDI input a node of its own, a hit a cycle later.
// With --kit, the hats are a kit's (its file or folder), its layer for
// velocity 127 picked in the cycle as the built-in sound is.
//   bench_floor [--hits N (200)] [--quantum Q (256 and 128)] [--two-nodes] [--kit KIT]
#include "BenchLoad.h"
#include "audio/AudioEngine.h"
#include "audio/inputs/MidiInput.h"
#include "keys/Velocity.h"
#include "sound/KitCatalog.h"
#include "sound/KitSounds.h"
#include "sound/MidiPlayer.h"
#include "sound/SampleService.h"
#include "sound/SoundBank.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/GraphCapture.h"
#include "support/MidiFile.h"
#include "support/PrivatePulseServer.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr double kGoalMs = 0.5;
constexpr double kSpreadGoalMs = 0.1;

int option(int argc, char **argv, const char *name, int otherwise)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return otherwise;
}

QStringList ports(const char *which)
{
    QProcess list;
    list.start(QStringLiteral("pw-link"), {which});
    list.waitForFinished(5000);
    return QString::fromUtf8(list.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool link(const QString &from, const QString &to, bool unlink = false)
{
    return QProcess::execute(QStringLiteral("pw-link"), unlink ? QStringList{"-d", from, to} : QStringList{from, to}) ==
        0;
}

// Waits until an output port not in `before` shows (the source's), at most 5 s.
QString newOutput(const QSet<QString> &before)
{
    for (int i = 0; i < 100; ++i) {
        for (const QString &port : ports("-o"))
            if (!before.contains(port) && !port.startsWith(QLatin1String("Tamvolo:")) &&
                !port.startsWith(QLatin1String("midisine:")))
                return port;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

// Onsets where a sound starts after 10 ms of silence: its first frame above
// -60 dBFS (a recorded sample's own noise before it counts as its start,
// not as silence). Both sides are found alike, so that a frame the capture
// loses within a sound hides no hit of either. A sound that rises past
// -60 dBFS again sooner than 50 ms before the next hit is due is a hole
// heard in a hit: counted in `holes`, not taken for a hit.
// Frames from one hit to the next: 250 ms, or more where the kit's hat
// rings longer, so that each hit starts after silence.
long long g_spacing = 12000;

std::vector<long long> onsetsAfterSilence(const std::vector<float> &out, int *holes = nullptr)
{
    std::vector<long long> onsets;
    long long quiet = 480;
    bool started = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float level = std::abs(out[i]);
        const bool soon = !onsets.empty() && (long long)i - onsets.back() < g_spacing - 2400;
        if (quiet >= 480 && level > 1e-3f && soon && holes)
            ++*holes;
        if (quiet >= 480 && level >= 1e-5f && !soon)
            started = true;
        if (started && level > 1e-3f) {
            onsets.push_back((long long)i);
            started = false;
        }
        quiet = level < 1e-5f ? quiet + 1 : 0;
    }
    return onsets;
}

// The kit the hats are played from (--kit), or null: the built-in hat.
std::shared_ptr<const KitSounds> g_kit;

// Where the hat note's sound first rises above the onset threshold, as it
// plays at velocity 127 on the left: the earliest of its layers for 127.
long long hatLead()
{
    std::vector<std::pair<std::shared_ptr<const SampleBuffer>, float>> sounds;
    if (!g_kit) {
        sounds.emplace_back(WavLoader::load(SampleFolders::program() + "J.wav", 48000), 1.0f);
    } else if (const int i = g_kit->instrumentForNote(42); i >= 0) {
        const KitSounds::Instrument &hat = g_kit->instruments()[std::size_t(i)];
        for (const NoteTable::Layer &layer : hat.layers)
            if (layer.minVelocity <= 127 && 127 <= layer.maxVelocity)
                sounds.emplace_back(layer.sample, layer.gain * hat.left * Velocity::loudness(127));
    }
    long long lead = -1;
    for (const auto &[sound, gain] : sounds) {
        for (std::size_t f = 0; sound && f < sound->frames(); ++f) {
            if (std::abs(sound->at(f, 0) * gain) > 1e-3f) {
                lead = lead < 0 ? (long long)f : std::min(lead, (long long)f);
                break;
            }
        }
    }
    return std::max(0LL, lead);
}

// Our holes, as the engine says them.
std::atomic<int> g_holes{0};
void countHoles(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("played a hole")))
        g_holes.fetch_add(1);
}

bool run(int quantum, int hitCount, bool busy, bool pad, const QString &folder)
{
    QProcess::execute(QStringLiteral("pw-metadata"),
                      {"-n", "settings", "0", "clock.force-quantum", QString::number(quantum)});
    std::vector<MidiFile::Hit> hits;
    QStringList padHits;
    for (int i = 0; i < hitCount; ++i) {
        hits.push_back({480 + int(240 * (g_spacing / 12000)) * i, 42, 127});
        padHits << QString("%1:42:127").arg(g_spacing * i);
    }
    const QString file = folder + QStringLiteral("/hats.mid");
    MidiFile::write(file, hits);

    GraphCapture capture;
    capture.start();
    QProcess reference;
    QString padSaid;
    {
        auto engine = std::make_shared<AudioEngine>();
        engine->waitForOutput(std::chrono::seconds(5));
        SoundBank bank(engine);
        bank.samples()->setKit(g_kit);
        MidiPlayer player(engine, std::make_unique<MidiInput>(engine->midiHub(), MidiInput::Links::None), nullptr,
                          bank.samples(), std::string());
        reference.start(QStringLiteral("pw-jack"), {"jack_midisine"});
        for (int i = 0; i < 100 && !ports("-i").contains(QStringLiteral("midisine:midi_in")); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // Ours on the left alone, the reference's on the right.
        link(QStringLiteral("Tamvolo:output_FR"), QStringLiteral("tamvolo_out:playback_FR"), true);
        link(QStringLiteral("midisine:audio_out"), QStringLiteral("tamvolo_out:playback_FR"));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Spinners spinners(busy ? 2 : 0);
        const QStringList outputs = ports("-o");
        const QSet<QString> before(outputs.begin(), outputs.end());
        QProcess source;
        if (pad)
            source.start(QCoreApplication::applicationDirPath() + "/midi_pad", padHits);
        else
            source.start(QStringLiteral("pw-midiplay"), {"--target", "0", file});
        const QString from = newOutput(before);
        link(from, QStringLiteral("midisine:midi_in"));
        link(from, QStringLiteral("Tamvolo:MIDI in"));
        source.waitForFinished(int(hitCount * g_spacing / 48) + 20000);
        padSaid = QString::fromUtf8(source.readAllStandardOutput()).trimmed();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        reference.terminate();
        reference.waitForFinished(3000);
    }
    capture.stop();
    const long long lead = hatLead();
    int ourHolesHeard = 0, theirHolesHeard = 0;
    std::vector<long long> ours = onsetsAfterSilence(capture.left(), &ourHolesHeard);
    for (long long &onset : ours)
        onset -= lead;
    const auto theirs = onsetsAfterSilence(capture.right(), &theirHolesHeard);
    std::vector<double> after;
    for (const long long onset : ours) {
        const auto nearest = std::min_element(theirs.begin(), theirs.end(), [&](long long a, long long b) {
            return std::llabs(a - onset) < std::llabs(b - onset);
        });
        if (nearest != theirs.end() && std::llabs(*nearest - onset) < 4800)
            after.push_back(double(onset - *nearest) / 48.0);
    }
    const double sd = spread(after);
    const double median = percentile(after, 0.5);
    const double latest = after.empty() ? 0.0 : *std::max_element(after.begin(), after.end());
    const int ourHoles = g_holes.exchange(0);
    const bool met =
        int(ours.size()) == hitCount && latest <= kGoalMs && sd <= kSpreadGoalMs && ourHolesHeard <= theirHolesHeard;
    std::printf("%s%s, quantum %d, %s: %d hits sent, ours heard %zu, the reference's %zu, paired %zu; holes heard in a "
                "hit: ours %d, the reference's %d; the graph's cycles without us %d\n",
                pad ? "the stand-in pad (a driver at 1,024)" : "pw-midiplay",
                g_kit ? qPrintable(QStringLiteral(" with the kit ") + QString::fromStdString(g_kit->kit().name)) : "",
                quantum, busy ? "both cores busy" : "quiet", hitCount, ours.size(), theirs.size(), after.size(),
                ourHolesHeard, theirHolesHeard, ourHoles);
    if (pad)
        std::printf("  the pad: %s\n", qPrintable(padSaid));
    std::printf("  ours after the reference's: median %.3f ms, sd %.3f ms, %.3f..%.3f ms: %s\n", median, sd,
                after.empty() ? 0.0 : *std::min_element(after.begin(), after.end()), latest,
                met ? "within the goal"
                    : "NOT within the goal (none later than 0.5 ms, sd <= 0.1 ms, none missed, no more holes than the "
                      "reference)");
    return met;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("tamvolo.audio.debug=true"));
    qInstallMessageHandler(countHoles);
    const int hits = std::max(4, option(argc, argv, "--hits", 200));
    const int only = option(argc, argv, "--quantum", 0);
    qputenv("TAMVOLO_PULSE_SCRIPT", TAMVOLO_SOURCE_DIR "/scripts/pipewire-server.sh");
    qunsetenv("SDL_AUDIODRIVER");
    if (std::find_if(argv, argv + argc, [](const char *a) { return std::strcmp(a, "--two-nodes") == 0; }) !=
        argv + argc)
        qputenv("TAMVOLO_AUDIO", "pipewire-stream");
    else
        qunsetenv("TAMVOLO_AUDIO");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--kit") != 0)
            continue;
        Kit kit;
        std::string why;
        const std::string path = KitCatalog::resolve(argv[i + 1]);
        if (path.empty() || !KitCatalog::read(path, kit, why) || !(g_kit = KitSounds::load(kit, 48000))) {
            std::printf("bench_floor: the kit %s does not load (%s)\n", argv[i + 1], why.c_str());
            return 1;
        }
        if (g_kit->instrumentForNote(42) < 0) {
            std::printf("bench_floor: the kit %s plays no hi-hat on note 42\n", argv[i + 1]);
            return 1;
        }
        for (const NoteTable::Layer &layer : g_kit->instruments()[std::size_t(g_kit->instrumentForNote(42))].layers)
            g_spacing = std::max(g_spacing, ((long long)layer.sample->frames() + 4800 + 11999) / 12000 * 12000);
        std::printf("the kit's hat rings up to %.2f s: a hit every %lld ms\n", double(g_spacing - 4800) / 48000.0,
                    g_spacing / 48);
    }
    PrivatePulseServer server;
    if (!server.ok()) {
        std::printf("bench_floor: no PipeWire server\n");
        return 1;
    }
    server.use();
    QTemporaryDir dir;
    int missed = 0;
    for (const int quantum : {256, 128}) {
        if (only != 0 && quantum != only)
            continue;
        for (const bool busy : {false, true})
            missed += run(quantum, hits, busy, false, dir.path()) ? 0 : 1;
    }
    for (const bool busy : {false, true})
        missed += run(only != 0 ? only : 256, hits, busy, true, dir.path()) ? 0 : 1;
    std::printf("%d of the runs outside the goal\n", missed);
    return 0;
}
