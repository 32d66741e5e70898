#include "client/busy_retry.h"

#include <algorithm>
#include <random>

namespace service {

std::chrono::milliseconds BusyDelay(std::chrono::seconds advised, const BusyRetry& policy, double jitter) {
    const std::chrono::milliseconds base = std::max(std::chrono::seconds(1), std::min(advised, policy.cap));
    const auto spread = std::min<std::chrono::milliseconds>(base / 4, std::chrono::seconds(1));
    return base + std::chrono::milliseconds(static_cast<long long>(static_cast<double>(spread.count()) * jitter));
}

ServiceReply RequestPatiently(const ServiceClient& client, const Request& request, const BusyRetry& policy,
                              const BusyWait& wait) {
    thread_local std::minstd_rand random(std::random_device{}());
    std::uniform_real_distribution<double> jitter(0.0, 1.0);
    std::chrono::milliseconds waited{0};
    for (;;) {
        try {
            return client.ServiceRequest(request);
        } catch (const platform::ServiceBusy& busy) {
            const auto delay = BusyDelay(busy.RetryAfter(), policy, jitter(random));
            if (waited + delay > policy.total || !wait || !wait(delay)) throw;
            waited += delay;
        }
    }
}

}  // namespace service
