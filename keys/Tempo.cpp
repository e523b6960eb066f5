#include "keys/Tempo.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::int64_t kMinuteNs = 60'000'000'000;

} // namespace

std::int64_t Tempo::intervalNs() const
{
    const std::int64_t steps = clamped().stepsPerMinute;
    return (kMinuteNs + steps / 2) / steps;
}

std::int64_t Tempo::swingNs(int step) const
{
    return step % 2 == 0 ? intervalNs() * clamped().swingPercent / 100 : 0;
}

Tempo Tempo::clamped() const
{
    return {std::clamp(stepsPerMinute, kMinStepsPerMinute, kMaxStepsPerMinute),
            std::clamp(swingPercent, 0, kMaxSwingPercent)};
}

std::string Tempo::text() const
{
    const Tempo t = clamped();
    return "steps=" + std::to_string(t.stepsPerMinute) + "\nswing=" + std::to_string(t.swingPercent) + "\n";
}

Tempo Tempo::fromText(std::string_view text)
{
    Tempo tempo;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view name = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        int number = 0;
        const auto [past, fault] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (fault != std::errc() || past != value.data() + value.size())
            continue;
        if (name == "steps")
            tempo.stepsPerMinute = number;
        else if (name == "swing")
            tempo.swingPercent = number;
    }
    return tempo.clamped();
}
