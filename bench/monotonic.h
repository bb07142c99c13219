#pragma once

#include <chrono>

namespace tollvik::bench {

// Steady-clock time in nanoseconds; on Linux this is CLOCK_MONOTONIC, the same clock in every
// process, so the parent can subtract its own launch time from it.
inline long long monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace tollvik::bench
