#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

// Where a sound starts in a capture that need not hold it bit for bit (a
// graph at another rate resamples it): the lag of best normalised
// correlation of its frames [skip, skip + length) (past the fade of a sound
// it cuts), within `window` frames of where it was expected; -1 where nothing
// in the window resembles it (a correlation under 0.9).
inline long long onsetNear(const std::vector<float> &left, const std::vector<float> &soundLeft, long long expected,
                           long long window, std::size_t skip = 144, std::size_t length = 256)
{
    if (soundLeft.size() < skip + length)
        return -1;
    double best = 0.9;
    long long at = -1;
    for (long long p = std::max(0LL, expected - window); p <= expected + window; ++p) {
        if (p + (long long)(skip + length) > (long long)left.size())
            break;
        double ab = 0, aa = 0, bb = 0;
        for (std::size_t j = skip; j < skip + length; ++j) {
            const double x = left[std::size_t(p) + j], y = soundLeft[j];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
        if (aa > 0 && bb > 0 && ab / std::sqrt(aa * bb) > best) {
            best = ab / std::sqrt(aa * bb);
            at = p;
        }
    }
    return at;
}
