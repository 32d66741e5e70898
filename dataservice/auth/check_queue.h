#pragma once
// Password checks that may cost a key derivation (a good part of a second of one core), run in
// arrival order on as many threads as there are cores. A burst of cold checks (every machine's
// first request of a Monday) must not queue without bound: a check that could not start within
// the bound, judged from the checks ahead of it and the measured time of one, is refused at once
// with the time to come back, instead of being left to the client's own time-out.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "dataservice/common/work_pool.h"

namespace dataservice {

class CheckQueue {
public:
    // `estimate`: one check's time until checks have been measured (a cold start is a burst).
    CheckQueue(unsigned threads, std::chrono::milliseconds bound, std::chrono::microseconds estimate);

    // Queues `check`; or, when it could not start within the bound, queues nothing and answers
    // the whole seconds until there is room again.
    std::optional<std::int64_t> post(std::function<void()> check);

    // Checks queued or running now.
    std::int64_t pending() const { return pending_.load(); }

private:
    std::chrono::microseconds expectedWait() const;

    const unsigned threads_;
    const std::chrono::microseconds bound_;
    std::atomic<std::int64_t> pending_{0};
    std::atomic<std::int64_t> checkMicros_;  // a moving average of one check's time
    WorkPool pool_;  // last: its tasks use the members above until it has ended
};

}  // namespace dataservice
