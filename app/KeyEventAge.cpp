#include "app/KeyEventAge.h"

std::int64_t KeyEventAge::ns(std::uint32_t eventMs, std::int64_t nowNs)
{
    if (eventMs == 0 || nowNs < 0)
        return 0;
    const auto nowMs = std::uint32_t(std::uint64_t(nowNs / 1'000'000) & 0xffffffffu);
    const std::uint32_t wholeMs = nowMs - eventMs; // wraps every 49.7 days, as the stamps do
    const std::int64_t age = std::int64_t(wholeMs) * 1'000'000 + nowNs % 1'000'000 - 500'000;
    if (wholeMs > kMaxNs / 1'000'000 || age < 0)
        return 0;
    return age;
}
