#include "dataservice/auth/check_queue.h"

#include <algorithm>

#include "dataservice/common/work_pool.h"
#include "dataservice/operation/metrics.h"

namespace dataservice {

CheckQueue::CheckQueue(unsigned threads, std::chrono::milliseconds bound, std::chrono::microseconds estimate)
    : threads_(std::max(1u, threads)), bound_(bound), checkMicros_(estimate.count()), pool_(threads_) {}

std::chrono::microseconds CheckQueue::expectedWait() const {
    // Each thread takes one of the checks ahead in turn: a newcomer starts once the rounds
    // ahead of it are done.
    const std::int64_t rounds = pending_.load() / threads_;
    return std::chrono::microseconds(rounds * checkMicros_.load());
}

std::optional<std::int64_t> CheckQueue::post(std::function<void()> check) {
    const auto wait = expectedWait();
    if (wait > bound_) {
        Metrics::global().passwordCheckRefused();
        // Once the checks ahead have fallen within the bound there is room again: asked to come
        // back later, clients would leave the threads idle meanwhile.
        return std::max<std::int64_t>(1, ((wait - bound_).count() + 999999) / 1000000);
    }
    ++pending_;
    Metrics::global().passwordChecksPending(pending_.load());
    const auto queued = std::chrono::steady_clock::now();
    pool_.post([this, queued, check = std::move(check)] {
        const auto started = std::chrono::steady_clock::now();
        Metrics::global().passwordCheckWaited(std::chrono::duration<double>(started - queued).count());
        const double cpu = threadCpuSeconds();
        try {
            check();
        } catch (...) {
        }
        // What a derivation really costs under load, for capacity planning.
        Metrics::global().passwordCheckRan(threadCpuSeconds() - cpu);
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
        // Enough memory to follow a change of load, little enough that one odd check does not
        // swing the estimate.
        checkMicros_.store((checkMicros_.load() * 7 + took.count()) / 8);
        Metrics::global().passwordChecksPending(--pending_);
    });
    return std::nullopt;
}

}  // namespace dataservice
