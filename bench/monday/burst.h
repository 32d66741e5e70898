#pragma once
// The burst: distinct machines, each one whole run with a cold password check, C at once,
// against a fresh service process; busy answers waited out and tried again, as collectors do.
#include <cstdint>
#include <string>
#include <vector>

#include "bench/monday/options.h"

namespace monday {

struct BurstFigures {
    int machines = 0, completed = 0;
    double seconds = 0;
    std::vector<std::uint32_t> checkUs;     // every answer to an account check, refusals too
    std::vector<std::uint32_t> acceptedUs;  // a machine's first account check to its accepted one
    std::uint32_t longestOtherUs = 0;       // the longest answer to any other request
    std::vector<double> advised;            // each refusal's Retry-After, seconds
    std::uint64_t busy = 0, limited = 0, retries = 0, gaveUp = 0, failed = 0, notSent = 0;
    std::uint64_t checks = 0;     // accepted account checks: one key derivation each
    double refusedByService = -1;  // the service's own count of checks refused as busy
    double commits = 0, committed = 0;   // the writer's transactions and the requests they held
    double checksRun = 0, checkCpu = 0;  // the service's checks and their threads' processor time
    double serviceCpu = 0, postgresCpu = 0;  // seconds over the burst
};

// Makes the accounts (the service's own add-account, real iterations) in `db`, then the burst.
BurstFigures runBurst(const Options& o, const std::string& db);

// The p-th fraction of `us`, in milliseconds (0 for none).
double percentileMs(std::vector<std::uint32_t> us, double p);

}  // namespace monday
