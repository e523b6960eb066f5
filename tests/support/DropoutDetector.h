#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// Holes in captured sound: runs of silence inside a sound that the sound
// asked for does not have. A sound server that runs dry plays digital
// silence until data comes again; a sample's own quiet moments and the
// silence after a sound ends are not holes.
namespace DropoutDetector {

// Sound that was asked for: `sample` (interleaved stereo) starting at `frame`
// of the capture, until the next play cuts it.
struct Play
{
    long long frame = 0;
    const std::vector<float> *sample = nullptr;
};

struct Hole
{
    long long frame = 0;
    long long frames = 0;
};

constexpr float kSilence = 1e-6f;    // what a dry server plays
constexpr float kAudible = 1e-3f;    // -60 dBFS: the sample has sound here
constexpr long long kMinFrames = 16; // a third of a millisecond

// `plays` in the order of their frames.
inline std::vector<Hole> find(const std::vector<float> &left, const std::vector<Play> &plays,
                              long long minFrames = kMinFrames)
{
    std::vector<Hole> holes;
    for (std::size_t i = 0; i < plays.size(); ++i) {
        const std::vector<float> &s = *plays[i].sample;
        const long long length = (long long)(s.size() / 2);
        long long end = plays[i].frame + length;
        if (i + 1 < plays.size())
            end = std::min(end, plays[i + 1].frame);
        end = std::min(end, (long long)left.size());
        long long run = 0;
        float sampleLevel = 0.0f;
        for (long long f = plays[i].frame; f <= end; ++f) {
            const bool silent = f < end && std::abs(left[std::size_t(f)]) <= kSilence;
            if (silent) {
                ++run;
                sampleLevel = std::max(sampleLevel, std::abs(s[2 * std::size_t(f - plays[i].frame)]));
                continue;
            }
            if (run >= minFrames && sampleLevel >= kAudible)
                holes.push_back({f - run, run});
            run = 0;
            sampleLevel = 0.0f;
        }
    }
    return holes;
}

} // namespace DropoutDetector
