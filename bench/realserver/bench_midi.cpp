// From a MIDI pad to the sound, through a private PipeWire graph: pw-midiplay
// plays a file of closed hi-hats, four a second, into the program's MIDI
// input (MidiInput and MidiPlayer, as the program runs them), and the sink's
// monitor is recorded by a capture stream of the graph itself, each frame
// with the graph's time it was played at (GraphCapture). For each hit, from
// its event's graph time to its onset: median and spread; the hits heard;
// their spacing in frames against the file's. Quiet, then with both cores
// busy.
//   bench_midi [--seconds N (60)] [--quantum Q (256)]
#include "BenchLoad.h"
#include "audio/AudioEngine.h"
#include "audio/core/MonotonicClock.h"
#include "audio/inputs/MidiInput.h"
#include "sound/MidiPlayer.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/GraphCapture.h"
#include "support/MidiFile.h"
#include "support/PrivatePulseServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

int option(int argc, char **argv, const char *name, int otherwise)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return otherwise;
}

void run(int seconds, bool busy, const QString &folder)
{
    const auto hat = WavLoader::load(SampleFolders::program() + "J.wav", 48000);
    std::vector<MidiFile::Hit> hits;
    for (int i = 0; i < seconds * 4; ++i)
        hits.push_back({480 + 240 * i, 42, 127});
    const QString file = folder + QStringLiteral("/hats.mid");
    MidiFile::write(file, hits);
    std::mutex mutex;
    std::vector<std::int64_t> played;
    GraphCapture capture;
    capture.start();
    {
        auto engine = std::make_shared<AudioEngine>();
        engine->waitForOutput(std::chrono::seconds(5));
        MidiPlayer player(
            engine, std::make_unique<MidiInput>(engine->midiHub(), MidiInput::Links::All),
            [&](const MidiPlayer::Heard &heard) {
                const std::lock_guard lock(mutex);
                played.push_back(heard.playedNs);
            },
            nullptr, std::string());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Spinners spinners(busy ? 2 : 0);
        QProcess::execute(QStringLiteral("pw-midiplay"), {"--target", "0", file});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    capture.stop();
    const std::vector<float> out = capture.left();
    const auto onsets = Capture::findAll(out, hat->stereo(), 144, 256);
    std::vector<double> delays;
    for (const std::int64_t at : played) {
        for (const long long onset : onsets) {
            const double t = capture.timeOf(onset);
            if (t > double(at) && t < double(at) + 100e6) {
                delays.push_back((t - double(at)) / 1e6);
                break;
            }
        }
    }
    int offSpacing = 0;
    for (std::size_t i = 1; i < onsets.size(); ++i)
        offSpacing += onsets[i] - onsets[i - 1] != 12000 ? 1 : 0;
    const double sd = spread(delays);
    std::printf("%s: %zu hits sent, %zu received, %zu heard; %d of %zu intervals off the file's 12000 frames\n",
                busy ? "Both cores busy" : "Quiet", hits.size(), played.size(), onsets.size(), offSpacing,
                onsets.empty() ? std::size_t(0) : onsets.size() - 1);
    std::printf("  MIDI to sound: median %.2f ms, sd %.2f ms, p1..p99 %.2f..%.2f ms\n", percentile(delays, 0.5), sd,
                percentile(delays, 0.01), percentile(delays, 0.99));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = std::max(5, option(argc, argv, "--seconds", 60));
    const int quantum = option(argc, argv, "--quantum", 256);
    qputenv("TAMVOLO_PULSE_SCRIPT", TAMVOLO_SOURCE_DIR "/scripts/pipewire-server.sh");
    qunsetenv("TAMVOLO_AUDIO");
    qunsetenv("SDL_AUDIODRIVER");
    PrivatePulseServer server;
    if (!server.ok()) {
        std::printf("bench_midi: no PipeWire server\n");
        return 1;
    }
    server.use();
    QProcess::execute(QStringLiteral("pw-metadata"),
                      {"-n", "settings", "0", "clock.force-quantum", QString::number(quantum)});
    std::printf("PipeWire, quantum %d (%.2f ms): the target, 2 quanta + 1 ms, is %.2f ms\n", quantum, quantum / 48.0,
                2 * quantum / 48.0 + 1);
    QTemporaryDir dir;
    run(seconds, false, dir.path());
    run(seconds, true, dir.path());
    return 0;
}
