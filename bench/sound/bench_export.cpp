// Measures "Esporta il loop come WAV…": rendering 4 loops of a pattern offline and
// encoding them as 16-bit WAV, cold (samples read from disk) and warm.
#include "audio/core/MonotonicClock.h"
#include "files/WavEncoder.h"
#include "sound/LoopRenderer.h"
#include "sound/SampleFolders.h"

#include <algorithm>
#include <cstdio>
#include <vector>

int main()
{
    const LoopRenderer renderer({SampleFolders::program()});
    const LoopRenderer::StepNames names = {"V", "J", "B", "J", "K", "-", "A"};
    std::vector<double> ms;
    std::size_t bytes = 0;
    for (int run = 0; run < 21; ++run) {
        const std::int64_t t0 = monotonicNs();
        const std::vector<float> frames = renderer.render(names, 4);
        bytes = WavEncoder::encode16(frames, 2, LoopRenderer::kRate).size();
        ms.push_back(double(monotonicNs() - t0) / 1e6);
    }
    const double cold = ms.front();
    std::vector<double> warm(ms.begin() + 1, ms.end());
    std::sort(warm.begin(), warm.end());
    std::printf("export of 4 loops (%zu bytes): first %.1f ms, then median %.1f ms, max %.1f ms (goal: under 50 ms)\n",
                bytes, cold, warm[warm.size() / 2], warm.back());
    return 0;
}
