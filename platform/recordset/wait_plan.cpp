#include "platform/recordset/wait_plan.h"

#include <algorithm>

namespace platform {

WaitPlan::Wait WaitPlan::Next(bool brief, Clock::time_point now) {
    const bool inSeries = silentStreak_ > 0 && now - lastEnded_ < std::chrono::milliseconds(waits_.seriesGapMs) &&
                          now - lastFullWait_ < std::chrono::milliseconds(waits_.probeEveryMs);
    if (inSeries) return {waits_.shortMs, waits_.shortMs};
    lastFullWait_ = now;
    const long totalMs = brief ? waits_.briefMs : waits_.requestMs;
    return {std::min(waits_.connectMs, totalMs), totalMs};
}

void WaitPlan::Ended(bool answered, Clock::time_point now) {
    lastEnded_ = now;
    silentStreak_ = answered ? 0 : silentStreak_ + 1;
}

}  // namespace platform
