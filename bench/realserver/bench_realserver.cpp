// The program as users hear it: the real window on a virtual X server, run
// as a normal user (scripts/as-user.sh) with the audio group's real-time
// priority unless told otherwise, its sound through a real sound server (a
// private instance with a null sink, with real-time priority as desktops run
// it), recorded from the sink's monitor in real time. With the machine quiet, then with both cores
// kept busy by ordinary-priority busy loops, then quiet again:
//   - the loop "VVVVVVV" for a while, with a flood of keys in its middle:
//     holes in the sound (dropouts), and each step's onset against its
//     chain's grid, start + k x 200 ms (mean, p99, max, in frames), and the
//     drift of the last onset;
//   - beside the loop, a reference client (ReferenceTone: pacat asking for
//     --reference-ms) plays a steady tone on the right channel alone: its
//     holes say what the server and the machine allow any client in the
//     same run;
//   - single keys: from the X key press to the sound's onset in the
//     recording (median and spread), the recording's frames placed on the
//     monotonic clock by the server's own timing;
//   - first, each drum key pressed once, then once more: the first press of
//     each sample against the second.
//   bench_realserver [--seconds N (120)] [--server pulseaudio|pipewire|pipewire-vm]
//                    [--sdl DRIVER] [--reference-ms N (10)] [--no-rt]
//                    [--foreign-env] [--after S (60)]
// pipewire is PipeWire with pipewire-pulse, the desktop's smallest quantum of
// 32; pipewire-vm the smallest quantum 1024, as Debian sets it in a virtual
// machine. --sdl DRIVER plays through SDL with that driver instead of the
// program's own stream; --no-rt grants the user no real-time priority;
// --foreign-env sets SDL_AUDIODRIVER=pulseaudio and PIPEWIRE_LATENCY=1024/48000
// as other programs' settings; --after is the quiet wait after the load
// before the last key test.
#include "BenchLoad.h"
#include "audio/core/MonotonicClock.h"
#include "sound/ApplicationFolder.h"
#include "sound/WavLoader.h"
#include "support/Capture.h"
#include "support/DropoutDetector.h"
#include "support/PrivatePulseServer.h"
#include "support/ProgramUnderX.h"
#include "support/PulseCapture.h"
#include "support/ReferenceTone.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include <unistd.h>

namespace {

constexpr long long kStepFrames = 9600;

void sleepMs(int ms)
{
    QThread::msleep(ms);
}

// Time the hypervisor took from this machine so far, in milliseconds (the
// "steal" column of /proc/stat): while it is taken, everything stops, the
// sound server included.
long long stolenMs()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    return fields.size() > 8 ? fields[8].toLongLong() * 1000 / sysconf(_SC_CLK_TCK) : 0;
}

void loopRun(ProgramUnderX &program, PulseCapture &capture, const std::vector<float> &kick, int seconds,
             const QString &folder, int referenceMs)
{
    const long long from = (long long)capture.frames();
    auto reference = std::make_unique<ReferenceTone>(folder, seconds, referenceMs);
    const long long stolenBefore = stolenMs();
    program.click(ProgramUnderX::esegui());
    program.click(ProgramUnderX::patternField()); // keys go to the field
    std::vector<std::int64_t> keys;
    const auto start = monotonicNs();
    const auto floodFrom = start + std::int64_t(seconds) * 400'000'000;   // 40 % in
    const auto floodTo = floodFrom + std::int64_t(seconds) * 150'000'000; // for 15 % of the run
    std::mt19937 random(7);
    while (monotonicNs() - start < std::int64_t(seconds) * 1'000'000'000) {
        const auto now = monotonicNs();
        if (now >= floodFrom && now < floodTo) {
            keys.push_back(program.key("v"));
            sleepMs(8 + int(random() % 10));
        } else {
            sleepMs(50);
        }
    }
    program.click(ProgramUnderX::ferma());
    reference.reset();
    sleepMs(800);

    const std::vector<float> side = capture.side();
    const auto referenceHoles = ReferenceTone::holes(std::vector<float>(side.begin() + from, side.end()));
    const std::vector<float> all = capture.left();
    const std::vector<float> out(all.begin() + from, all.end());
    const auto onsets = Capture::findAll(out, kick, 144, 256);
    std::vector<DropoutDetector::Play> plays;
    for (const long long at : onsets)
        plays.push_back({at, &kick});
    const auto holes = DropoutDetector::find(out, plays);
    long long lost = 0;
    for (const auto &h : holes)
        lost += h.frames;

    // The chain's grid: the first step's onset, then every 9600 frames. A
    // grid point near which a flood key's sound may start is left out: the
    // key cuts the step, or stands where it would.
    const PulseCapture::Line timeline = capture.timeline(double(from));
    std::vector<std::pair<double, double>> keySounds; // frames where a key's sound may start
    for (const std::int64_t press : keys) {
        const double at = (double(press) - timeline.at0) / timeline.nsPerFrame - double(from);
        keySounds.emplace_back(at + 0.010 * PulseCapture::kRate, at + 0.060 * PulseCapture::kRate);
    }
    std::vector<double> deviations;
    long long masked = 0, lastDeviation = 0, lastIndex = 0;
    // From each step heard to the next one heard, against whole steps: a
    // hole moves every later step, but not the steps against each other.
    long long previousOnset = -1, previousIndex = 0, intervalsOff = 0, intervalsCounted = 0, worstInterval = 0;
    if (!onsets.empty()) {
        const long long first = onsets.front();
        const long long points = (onsets.back() - first) / kStepFrames + 1;
        std::size_t i = 0;
        for (long long k = 0; k < points; ++k) {
            const long long grid = first + k * kStepFrames;
            const bool nearKey = std::any_of(keySounds.begin(), keySounds.end(), [grid](const auto &window) {
                return window.first < double(grid + 500) && window.second > double(grid - 500);
            });
            if (nearKey) {
                ++masked;
                continue;
            }
            while (i + 1 < onsets.size() && std::llabs(onsets[i + 1] - grid) <= std::llabs(onsets[i] - grid))
                ++i;
            const long long deviation = onsets[i] - grid;
            if (std::llabs(deviation) <= 4800) {
                if (previousOnset >= 0) {
                    const long long off = std::llabs(onsets[i] - previousOnset - (k - previousIndex) * kStepFrames);
                    ++intervalsCounted;
                    intervalsOff += off > 0 ? 1 : 0;
                    worstInterval = std::max(worstInterval, off);
                }
                previousOnset = onsets[i];
                previousIndex = k;
            }
            deviations.push_back(double(std::llabs(deviation)));
            lastDeviation = deviation;
            lastIndex = k;
        }
    }
    double mean = 0;
    for (double d : deviations)
        mean += d;
    mean = deviations.empty() ? 0 : mean / double(deviations.size());
    std::printf(
        "  loop %d s, %zu flood keys: dropouts %zu (%lld frames silent); time taken by the hypervisor %lld ms\n",
        seconds, keys.size(), holes.size(), lost, stolenMs() - stolenBefore);
    for (const auto &h : holes)
        std::printf("    a hole of %lld frames %.3f s into the loop\n", h.frames,
                    double(h.frame) / PulseCapture::kRate);
    std::printf("  steps on the grid: %zu (%lld masked by keys); deviation mean %.2f, p99 %.0f, max %.0f frames;"
                " drift after %lld steps %lld frames\n",
                deviations.size(), masked, mean, percentile(deviations, 0.99),
                deviations.empty() ? 0.0 : *std::max_element(deviations.begin(), deviations.end()), lastIndex,
                lastDeviation);
    std::printf("  step to step: %lld of %lld intervals off whole steps, the worst by %lld frames\n", intervalsOff,
                intervalsCounted, worstInterval);
    std::printf("  the reference client beside it (pacat, %d ms): %zu holes", referenceMs, referenceHoles.size());
    for (std::size_t i = 0; i < referenceHoles.size(); ++i)
        std::printf("%s%.1f", i == 0 ? ", at " : " ", referenceHoles[i]);
    std::printf("%s\n", referenceHoles.empty() ? "" : " s into the loop");
}

// From a key press to the onset of `sound` after it in the recording, in
// milliseconds by the capture's timeline; -1 when not heard within 150 ms.
double keyToSound(const std::vector<long long> &onsets, const PulseCapture::Line &timeline, std::int64_t press)
{
    for (const long long at : onsets) {
        const double t = timeline.at0 + double(at) * timeline.nsPerFrame;
        if (t > double(press) && t < double(press) + 150e6)
            return (t - double(press)) / 1e6;
    }
    return -1;
}

void keyRun(ProgramUnderX &program, PulseCapture &capture, const std::vector<float> &kick, int presses)
{
    program.click(ProgramUnderX::patternField());
    sleepMs(300);
    const auto from = double(capture.frames());
    std::vector<std::int64_t> sent;
    std::mt19937 random(11);
    for (int i = 0; i < presses; ++i) {
        sent.push_back(program.key("v"));
        sleepMs(150 + int(random() % 60));
    }
    sleepMs(500);
    const auto onsets = Capture::findAll(capture.left(), kick, 144, 256);
    const PulseCapture::Line timeline = capture.timeline(from);
    std::vector<double> latencies;
    for (const std::int64_t press : sent)
        if (const double ms = keyToSound(onsets, timeline, press); ms >= 0)
            latencies.push_back(ms);
    double mean = 0, sd = 0;
    for (double l : latencies)
        mean += l;
    mean /= std::max<double>(1, double(latencies.size()));
    for (double l : latencies)
        sd += (l - mean) * (l - mean);
    sd = std::sqrt(sd / std::max<double>(1, double(latencies.size())));
    std::printf("  the sink's clock: %.1f frames a second of the monotonic clock\n", 1e9 / timeline.nsPerFrame);
    std::printf("  key to sound (%zu of %d keys heard): median %.2f ms, sd %.2f ms, p1..p99 %.2f..%.2f ms\n",
                latencies.size(), presses, percentile(latencies, 0.5), sd, percentile(latencies, 0.01),
                percentile(latencies, 0.99));
}

// Each drum key pressed once, then once more: the first press of each
// sample, loaded before it by the program or not, against the second.
void firstPressRun(ProgramUnderX &program, PulseCapture &capture)
{
    program.click(ProgramUnderX::patternField());
    sleepMs(300);
    const auto from = double(capture.frames());
    const char *keys[] = {"v", "b", "j", "h", "g", "f", "k"};
    const char *files[] = {"v.wav", "b.wav", "J.wav", "h.wav", "g.wav", "f.wav", "k.wav"};
    std::vector<std::int64_t> pressed;
    for (int round = 0; round < 2; ++round) {
        for (const char *key : keys) {
            pressed.push_back(program.key(key));
            sleepMs(250);
        }
    }
    sleepMs(500);
    const std::vector<float> out = capture.left();
    const PulseCapture::Line timeline = capture.timeline(from);
    std::printf("  first press / second press, key to sound in ms:");
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        const auto sound = WavLoader::load(applicationFolder() + "/voc/" + files[i], 48000);
        const auto onsets = sound ? Capture::findAll(out, sound->stereo(), 144, 256) : std::vector<long long>();
        std::printf(" %s %.2f/%.2f", keys[i], keyToSound(onsets, timeline, pressed[i]),
                    keyToSound(onsets, timeline, pressed[i + std::size(keys)]));
    }
    std::printf("\n");
}

// The named option's value, or `otherwise`.
QByteArray option(int argc, char **argv, const char *name, const char *otherwise)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return otherwise;
}

bool flag(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = std::max(5, option(argc, argv, "--seconds", "120").toInt());
    const QByteArray serverKind = option(argc, argv, "--server", "pulseaudio");
    const QByteArray sdlDriver = option(argc, argv, "--sdl", "");
    const int referenceMs = option(argc, argv, "--reference-ms", "10").toInt();
    const int afterSeconds = option(argc, argv, "--after", "60").toInt();
    const bool realtime = !flag(argc, argv, "--no-rt");
    const bool foreignEnvironment = flag(argc, argv, "--foreign-env");
    if (serverKind.startsWith("pipewire")) {
        qputenv("TAMVOLO_PULSE_SCRIPT", TAMVOLO_SOURCE_DIR "/scripts/pipewire-server.sh");
        qputenv("TAMVOLO_PIPEWIRE_MIN_QUANTUM", serverKind == "pipewire-vm" ? "1024" : "32");
    } else {
        qputenv("TAMVOLO_PULSE_SCRIPT", TAMVOLO_SOURCE_DIR "/scripts/pulse-server.sh");
    }
    std::printf("Server: %s; the program as a normal user, %s real-time priority%s%s\n", serverKind.constData(),
                realtime ? "with the audio group's" : "without", sdlDriver.isEmpty() ? "" : "; through SDL's ",
                sdlDriver.constData());

    QTemporaryDir dir;
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                              QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    QProcess xvfb;
    if (!qEnvironmentVariableIsSet("DISPLAY")) {
        xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (!xvfb.waitForReadyRead(10000)) {
            std::printf("bench_realserver: no X server\n");
            return 1;
        }
        qputenv("DISPLAY", ":" + xvfb.readLine().trimmed());
    }
    auto server = std::make_unique<PrivatePulseServer>(false, QString(), QProcessEnvironment(), true);
    if (!server->ok()) {
        std::printf("bench_realserver: no sound server\n");
        return 1;
    }
    server->use();

    const auto kick = WavLoader::load(applicationFolder() + "/voc/v.wav", 48000);
    PulseCapture capture;
    auto owned = std::make_unique<ProgramUnderX>();
    ProgramUnderX &program = *owned;
    QProcessEnvironment env = server->clientEnvironment();
    env.insert(QStringLiteral("TAMVOLO_AUDIO"), sdlDriver.isEmpty() ? QString() : QStringLiteral("sdl"));
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QString::fromLocal8Bit(sdlDriver));
    if (foreignEnvironment) {
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("pulseaudio"));
        env.insert(QStringLiteral("PIPEWIRE_LATENCY"), QStringLiteral("1024/48000"));
    }
    const QString runtime = dir.filePath(QStringLiteral("program"));
    QProcess::execute(QStringLiteral(TAMVOLO_SOURCE_DIR "/scripts/as-user.sh"), {"mkdir", "-m", "700", runtime});
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    // What the program logs (QT_LOGGING_RULES="tamvolo.audio=true") goes
    // out beside the figures.
    program.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList launch;
    if (realtime)
        launch << "--rtprio"
               << "95";
    launch << QCoreApplication::applicationDirPath() + QStringLiteral("/tamvolo");
    int code = 0;
    if (!kick || !capture.start() ||
        !program.start(env, 30000, launch, QStringLiteral(TAMVOLO_SOURCE_DIR "/scripts/as-user.sh"))) {
        std::printf("bench_realserver: could not start\n");
        code = 1;
    } else {
        sleepMs(1500);
        std::printf("Just started:\n");
        firstPressRun(program, capture);
        program.typePattern("vvvvvvv");
        sleepMs(1000);
        for (const bool busy : {false, true}) {
            std::printf("%s:\n", busy ? "Both cores busy (two ordinary-priority busy loops)" : "Quiet machine");
            Spinners spinners(busy ? 2 : 0);
            sleepMs(500);
            loopRun(program, capture, kick->stereo(), seconds, dir.path(), referenceMs);
            keyRun(program, capture, kick->stereo(), 100);
        }
        std::printf("Quiet again, %d s after the load ended:\n", afterSeconds);
        sleepMs(afterSeconds * 1000);
        keyRun(program, capture, kick->stereo(), 100);
        const auto closing = monotonicNs();
        program.click(ProgramUnderX::chiudi());
        program.process().waitForFinished(10000);
        std::printf("Chiudi: the program ended in %.0f ms with code %d\n", double(monotonicNs() - closing) / 1e6,
                    program.process().exitCode());
    }
    capture.stop();
    owned.reset();
    server.reset();
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
    return code;
}
