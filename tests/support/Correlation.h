#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

// How alike two sounds are: the normalised correlation of `b` against `a`
// shifted by the lag (in frames, -maxLag to maxLag) that fits best, over the
// frames they share. 1 is the same waveform at any level.
inline double bestCorrelation(const std::vector<float> &a, const std::vector<float> &b, int maxLag)
{
    double best = -1.0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (std::size_t i = 0; i < b.size(); ++i) {
            const long long j = (long long)i + lag;
            if (j < 0 || j >= (long long)a.size())
                continue;
            const double x = a[std::size_t(j)];
            const double y = b[i];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
        if (aa > 0 && bb > 0)
            best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

// The left channel of interleaved stereo frames.
inline std::vector<float> leftOf(const std::vector<float> &stereo)
{
    std::vector<float> left(stereo.size() / 2);
    for (std::size_t i = 0; i < left.size(); ++i)
        left[i] = stereo[2 * i];
    return left;
}
