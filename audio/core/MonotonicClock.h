#pragma once

#include <chrono>
#include <cstdint>

// Nanoseconds of the system's monotonic clock: the time base shared by the
// requesting threads and the audio thread.
inline std::int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
