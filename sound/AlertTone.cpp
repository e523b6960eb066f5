#include "sound/AlertTone.h"

#include <cmath>
#include <numbers>

std::shared_ptr<const SampleBuffer> AlertTone::make(int outputRate)
{
    auto buffer = std::make_shared<SampleBuffer>();
    const int frames = int(kSeconds * outputRate);
    buffer->channels = 1;
    buffer->samples.resize(std::size_t(frames));
    const double twoPi = 2.0 * std::numbers::pi;
    const int attack = outputRate / 500;  // 2 ms
    const int release = outputRate / 100; // 10 ms
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / outputRate;
        // A fifth apart, the upper note entering after 40 ms.
        double v = std::sin(twoPi * 880.0 * t) * std::exp(-t * 22.0);
        if (t >= 0.04)
            v += 0.8 * std::sin(twoPi * 1318.5 * (t - 0.04)) * std::exp(-(t - 0.04) * 25.0);
        double env = 1.0;
        if (i < attack)
            env = double(i) / attack;
        if (frames - 1 - i < release)
            env *= double(frames - 1 - i) / release;
        const float s = float(kPeak / 1.3 * v * env);
        buffer->samples[std::size_t(i)] = s;
    }
    return buffer;
}
