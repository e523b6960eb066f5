#include "sound/TakeEditor.h"

#include <algorithm>
#include <cmath>

namespace {

double fromDb(double db)
{
    return std::pow(10.0, db / 20.0);
}

std::size_t frames(double ms)
{
    return std::size_t(std::lround(ms * TakeEditor::kRate / 1000.0));
}

} // namespace

std::optional<std::vector<float>> TakeEditor::edit(const std::vector<float> &take)
{
    if (take.empty())
        return std::nullopt;
    double sum = 0.0;
    for (const float s : take)
        sum += std::isfinite(s) ? double(s) : 0.0;
    const double mean = sum / double(take.size());
    std::vector<double> centred(take.size());
    for (std::size_t i = 0; i < take.size(); ++i)
        centred[i] = (std::isfinite(take[i]) ? double(take[i]) : 0.0) - mean;

    const double threshold = fromDb(kThresholdDb);
    auto loud = [threshold](double s) { return std::abs(s) >= threshold; };
    const auto first = std::find_if(centred.begin(), centred.end(), loud);
    if (first == centred.end())
        return std::nullopt;
    const auto last = std::find_if(centred.rbegin(), centred.rend(), loud).base(); // one past the last sound
    const std::size_t begin =
        std::size_t(first - centred.begin()) - std::min(frames(kLeadMs), std::size_t(first - centred.begin()));
    const std::size_t end = std::size_t(last - centred.begin());

    double peak = 0.0;
    for (std::size_t i = begin; i < end; ++i)
        peak = std::max(peak, std::abs(centred[i]));
    const double gain = fromDb(kPeakDb) / peak;

    std::vector<float> out(end - begin);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = float(centred[begin + i] * gain);
    const std::size_t fadeIn = std::min(frames(kFadeInMs), out.size());
    for (std::size_t i = 0; i < fadeIn; ++i)
        out[i] *= float(double(i) / double(fadeIn));
    const std::size_t fadeOut = std::min(frames(kFadeOutMs), out.size());
    for (std::size_t i = 0; i < fadeOut; ++i)
        out[out.size() - 1 - i] *= float(double(i) / double(fadeOut));
    return out;
}
