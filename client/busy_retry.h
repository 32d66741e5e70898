#pragma once
// A service that answers "busy" (503 or 429 with Retry-After) is asked again after the time it
// advised, capped and with a little jitter, so that a fleet told the same time does not come back
// in one wave; within a total bound, after which the busy answer stands as the request's failure.
#include <chrono>
#include <functional>

#include "client/service.h"

namespace service {

struct BusyRetry {
    std::chrono::seconds total{60};  // waited in all, at most, for one request
    std::chrono::seconds cap{15};    // one wait, at most, whatever the service advised
};

// Waits `delay` (telling the user why); false when the user stopped the wait.
using BusyWait = std::function<bool(std::chrono::milliseconds delay)>;

// Performs `request`, asking again while the service answers busy and the policy allows. Throws
// what the last attempt threw (ServiceBusy when the bound ran out or the wait was stopped).
ServiceReply RequestPatiently(const ServiceClient& client, const Request& request, const BusyRetry& policy,
                              const BusyWait& wait);

// The wait before the next attempt: the advice capped, plus up to a quarter more (at most a
// second), at least a second in all. `jitter` in [0, 1).
std::chrono::milliseconds BusyDelay(std::chrono::seconds advised, const BusyRetry& policy, double jitter);

}  // namespace service
