// Measures the time PlaySample takes on the calling (UI) thread, p50 and
// p99. What comes out of a real sound server, and when, is bench_realserver's.
#include "audio/AudioEngine.h"
#include "audio/core/MonotonicClock.h"
#include "sound/SoundBank.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

void uiThreadTime()
{
    setenv("TAMVOLO_AUDIO", "sdl", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    auto engine = std::make_shared<AudioEngine>();
    engine->waitForOutput(std::chrono::seconds(5));
    SoundBank bank(engine);
    bank.playSample("v.wav", bank.nowNs());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<double> us;
    for (int i = 0; i < 5000; ++i) {
        const std::int64_t t0 = monotonicNs();
        bank.playSample(i % 2 ? "v.wav" : "B", bank.nowNs());
        us.push_back(double(monotonicNs() - t0) / 1000.0);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::printf("PlaySample on the calling thread (5000 calls): p50 %.1f us, p99 %.1f us, max %.1f us\n",
                percentile(us, 0.5), percentile(us, 0.99), *std::max_element(us.begin(), us.end()));
}

} // namespace

int main()
{
    uiThreadTime();
    return 0;
}
