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

std::vector<double> centred(const std::vector<float> &take)
{
    double sum = 0.0;
    for (const float s : take)
        sum += std::isfinite(s) ? double(s) : 0.0;
    const double mean = take.empty() ? 0.0 : sum / double(take.size());
    std::vector<double> out(take.size());
    for (std::size_t i = 0; i < take.size(); ++i)
        out[i] = (std::isfinite(take[i]) ? double(take[i]) : 0.0) - mean;
    return out;
}

} // namespace

std::optional<TakeEditor::Span> TakeEditor::soundIn(const std::vector<float> &take)
{
    const std::vector<double> x = centred(take);
    const double threshold = fromDb(kThresholdDb);
    auto loud = [threshold](double s) { return std::abs(s) >= threshold; };
    const auto first = std::find_if(x.begin(), x.end(), loud);
    if (first == x.end())
        return std::nullopt;
    const auto last = std::find_if(x.rbegin(), x.rend(), loud).base(); // one past the last sound
    const std::size_t at = std::size_t(first - x.begin());
    return Span{at - std::min(frames(kLeadMs), at), std::size_t(last - x.begin())};
}

std::vector<float> TakeEditor::edit(const std::vector<float> &take, Span span)
{
    span.end = std::min(span.end, take.size());
    if (span.begin >= span.end)
        return {};
    const std::vector<double> x = centred(take);
    double peak = 0.0;
    for (std::size_t i = span.begin; i < span.end; ++i)
        peak = std::max(peak, std::abs(x[i]));
    const double gain = peak > 0.0 ? fromDb(kPeakDb) / peak : 0.0;

    std::vector<float> out(span.end - span.begin);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = float(x[span.begin + i] * gain);
    const std::size_t fadeIn = std::min(frames(kFadeInMs), out.size());
    for (std::size_t i = 0; i < fadeIn; ++i)
        out[i] *= float(double(i) / double(fadeIn));
    const std::size_t fadeOut = std::min(frames(kFadeOutMs), out.size());
    for (std::size_t i = 0; i < fadeOut; ++i)
        out[out.size() - 1 - i] *= float(double(i) / double(fadeOut));
    return out;
}

std::optional<std::vector<float>> TakeEditor::edit(const std::vector<float> &take)
{
    const auto span = soundIn(take);
    if (!span)
        return std::nullopt;
    return edit(take, *span);
}
