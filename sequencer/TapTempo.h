#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Tap tempo: the steps a minute of the taps the drummer gives a button, one
// tap a step, from the last few intervals; a pause of over two seconds
// begins a new count. Plain values; the caller passes the times in.
class TapTempo
{
public:
    static constexpr std::int64_t kPauseNs = 2'000'000'000;
    static constexpr std::size_t kTapsAveraged = 5;

    // A tap at `nowNs`: the tempo the taps so far give (none at the first).
    std::optional<int> tap(std::int64_t nowNs);

private:
    std::vector<std::int64_t> m_taps;
};
