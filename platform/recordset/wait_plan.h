#pragma once
// How long the next request may wait, shared by the HTTP sources of every system: the full wait,
// unless the service has just stopped answering and this request follows the last one closely;
// now and then a full wait all the same, so that a slow service that came back is found.
#include <chrono>

#include "platform/recordset/recordset.h"

namespace platform {

class WaitPlan {
public:
    using Clock = std::chrono::steady_clock;
    struct Wait {
        long connectMs;
        long totalMs;  // connection and whole reply
    };

    explicit WaitPlan(HttpWaits waits) : waits_(waits) {}

    Wait Next(bool brief, Clock::time_point now = Clock::now());
    // After each request: whether the service answered at all (an error page is an answer).
    void Ended(bool answered, Clock::time_point now = Clock::now());

private:
    HttpWaits waits_;
    int silentStreak_ = 0;  // requests in a row that the service did not answer
    Clock::time_point lastEnded_{};
    Clock::time_point lastFullWait_{};
};

}  // namespace platform
