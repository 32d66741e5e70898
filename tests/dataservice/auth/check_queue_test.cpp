// The password checks' queue: bounded by the time a newcomer would wait, judged from the checks
// ahead and one check's time, never by a clock in the test.
#include <future>

#include <gtest/gtest.h>

#include "dataservice/auth/check_queue.h"

namespace dataservice {
namespace {

using namespace std::chrono_literals;

TEST(CheckQueue, RefusesWhatCouldNotStartWithinTheBoundAndSaysWhenToComeBack) {
    // One thread, checks of about 0.6 s, a bound of 1 s: one may wait behind the one running.
    CheckQueue queue(1, 1000ms, 600ms);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> ran{0};
    const auto held = [&ran, released] { released.wait(), ++ran; };
    EXPECT_FALSE(queue.post(held));
    EXPECT_FALSE(queue.post(held));
    const auto later = queue.post(held);
    ASSERT_TRUE(later) << "a third check would have waited about 1.2 s";
    EXPECT_EQ(*later, 1) << "there is room again once the first is done";
    EXPECT_EQ(queue.pending(), 2);
    release.set_value();
    while (queue.pending() > 0) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(ran, 2);

    // Two threads take the checks ahead two at a time: twice as many fit in the bound.
    CheckQueue wider(2, 1000ms, 600ms);
    std::promise<void> go;
    std::shared_future<void> going = go.get_future().share();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(wider.post([going] { going.wait(); })) << i;
    EXPECT_TRUE(wider.post([] {}));
    go.set_value();
}

}  // namespace
}  // namespace dataservice
