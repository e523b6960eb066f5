#include "app/Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double luminance(const QColor &colour)
{
    const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

} // namespace

double Contrast::ratio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Contrast::readableOn(const QColor &background, const QColor &preferred)
{
    if (ratio(background, preferred) >= kReadable)
        return preferred;
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return ratio(background, black) >= ratio(background, white) ? black : white;
}
