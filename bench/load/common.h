#pragma once
// What every part of the load benchmark shares: its clock and the flag a stop signal sets.
#include <atomic>
#include <chrono>

namespace load {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Set by SIGINT or SIGTERM; every loop and wait of the benchmark gives up once it is.
extern std::atomic<bool> gInterrupted;

inline Clock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace load
