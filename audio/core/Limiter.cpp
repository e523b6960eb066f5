#include "audio/core/Limiter.h"

#include <algorithm>
#include <cmath>

Limiter::Limiter(int rate)
    : m_release(float(std::exp(-1000.0 / (kReleaseMs * std::max(rate, 1)))))
{}

float Limiter::knee(float level)
{
    if (level <= kThreshold)
        return level;
    // Slope 1 at the threshold, flattening towards the ceiling slowly
    // enough that a louder sum still comes out louder (by over a hundred
    // steps of 16 bits at three times the level of five drums at once).
    constexpr float room = kCeiling - kThreshold;
    const float over = (level - kThreshold) / room;
    return kThreshold + room * over / (1.0f + over);
}

void Limiter::process(float *stereo, int frames)
{
    for (int i = 0; i < frames; ++i) {
        float &left = stereo[2 * i];
        float &right = stereo[2 * i + 1];
        const float peak = std::max(std::abs(left), std::abs(right));
        if (!std::isfinite(peak)) {
            left = right = 0.0f; // a broken sum is silence, never a blast
            continue;
        }
        m_envelope = std::max(peak, m_envelope * m_release);
        if (m_envelope > kThreshold) {
            // The envelope is at least this frame's peak, and knee(e) / e
            // only falls as e rises: the frame comes out under the knee.
            const float gain = knee(m_envelope) / m_envelope;
            left *= gain;
            right *= gain;
        }
    }
}
