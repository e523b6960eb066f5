// Measures the sound path on this machine:
//  1. the time PlaySample takes on the calling (UI) thread, p50 and p99;
//  2. the fixed request-to-onset latency;
//  3. where requests made 200 ms apart start in the output of SDL's disk
//     driver: the gaps between onsets in frames, against 200 ms of nominal
//     rate and against 200 ms of the driver's own measured pace.
#include "ApplicationFolder.h"
#include "AudioEngine.h"
#include "Capture.h"
#include "MonotonicClock.h"
#include "SoundBank.h"
#include "WavLoader.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

void uiThreadTime()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    AudioEngine engine;
    SoundBank::setSink(&engine);
    PlaySample("v.wav");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<double> us;
    for (int i = 0; i < 5000; ++i) {
        const std::int64_t t0 = monotonicNs();
        PlaySample(i % 2 ? "v.wav" : "B");
        us.push_back(double(monotonicNs() - t0) / 1000.0);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    SoundBank::setSink(nullptr);
    std::printf("PlaySample on the calling thread (5000 calls): p50 %.1f us, p99 %.1f us, max %.1f us\n",
                percentile(us, 0.5), percentile(us, 0.99), *std::max_element(us.begin(), us.end()));
}

void onsetPlacement()
{
    QTemporaryDir dir;
    const std::string capture = dir.filePath("capture.raw").toStdString();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
    constexpr int kSteps = 30;
    std::vector<std::int64_t> stamps;
    std::int64_t latency = 0;
    int rate = 0, block = 0;
    std::uint64_t late = 0;
    {
        AudioEngine engine;
        latency = engine.latencyNs();
        rate = engine.rate();
        block = engine.blockFrames();
        SoundBank::setSink(&engine);
        PlaySample("v.wav"); // read both files once before timing
        PlaySample("b.wav");
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < kSteps; ++i) {
            std::this_thread::sleep_until(next);
            stamps.push_back(monotonicNs());
            PlaySample(i % 2 ? "b.wav" : "v.wav");
            next += std::chrono::milliseconds(200);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        late = engine.lateOnsets();
        SoundBank::setSink(nullptr);
    }

    const std::vector<float> out = Capture::readLeft(QString::fromStdString(capture));
    const auto kick = WavLoader::load(applicationFolder() + "/voc/v.wav", rate);
    const auto snare = WavLoader::load(applicationFolder() + "/voc/b.wav", rate);
    std::vector<long long> onsets;
    long long from = rate; // after the warm-up sounds
    for (int i = 0; i < kSteps; ++i) {
        const auto &sound = i % 2 ? snare->samples : kick->samples;
        const long long at = Capture::find(out, sound, std::size_t(from), 144, 256);
        if (at < 0)
            break;
        onsets.push_back(at);
        from = at + 1;
    }
    std::printf("Device: %d Hz, blocks of %d frames (%.2f ms); late onsets: %llu\n", rate, block,
                1000.0 * block / rate, (unsigned long long)late);
    std::printf("Request-to-onset latency: %.2f ms fixed (plus the device's own buffer)\n", double(latency) / 1e6);
    if (onsets.size() != std::size_t(kSteps)) {
        std::printf("only %zu of %d onsets found in the capture\n", onsets.size(), kSteps);
        return;
    }
    // The disk driver paces itself by sleeping, so its frames do not run at
    // exactly the nominal rate: measure its pace over the whole run.
    const double pace = double(onsets.back() - onsets.front()) * 1e9 / double(stamps.back() - stamps.front());
    double maxNominal = 0, maxPaced = 0;
    for (int i = 1; i < kSteps; ++i) {
        const double gap = double(onsets[std::size_t(i)] - onsets[std::size_t(i - 1)]);
        const double stampGap = double(stamps[std::size_t(i)] - stamps[std::size_t(i - 1)]) / 1e9;
        maxNominal = std::max(maxNominal, std::abs(gap - stampGap * rate));
        maxPaced = std::max(maxPaced, std::abs(gap - stampGap * pace));
    }
    std::printf("Disk driver pace: %.1f frames/s (%.2f%% off nominal)\n", pace, 100.0 * (pace - rate) / rate);
    std::printf("Onsets of %d requests 200 ms apart: max error %.1f frames against the driver's pace, "
                "%.1f frames against the nominal rate\n",
                kSteps, maxPaced, maxNominal);
}

} // namespace

int main()
{
    uiThreadTime();
    onsetPlacement();
    return 0;
}
