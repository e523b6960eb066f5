#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Finds clicks in a recording: single-frame steps that stand out from the
// steps around them. A step counts as a click when it is larger than
// kMinStep (-26 dBFS) and more than kRatio times the largest step among the
// kReach frames on either side. Noise and sharp drum attacks have steps of
// the same size around them and are not clicks; a sound cut off without a
// fade jumps by its whole level in one frame, far above its neighbours.
namespace ClickDetector {

constexpr float kMinStep = 0.05f;
constexpr float kRatio = 4.0f;
constexpr std::size_t kReach = 8;

// The frames at which a click starts.
inline std::vector<std::size_t> find(const std::vector<float> &x)
{
    std::vector<float> step(x.size(), 0.0f);
    for (std::size_t i = 1; i < x.size(); ++i)
        step[i] = std::abs(x[i] - x[i - 1]);
    std::vector<std::size_t> clicks;
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (step[i] <= kMinStep)
            continue;
        float around = 0.0f;
        for (std::size_t j = (i > kReach ? i - kReach : 1); j <= i + kReach && j < x.size(); ++j)
            if (j != i)
                around = std::max(around, step[j]);
        if (step[i] > kRatio * around)
            clicks.push_back(i);
    }
    return clicks;
}

} // namespace ClickDetector
