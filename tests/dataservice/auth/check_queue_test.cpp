// The password checks' queue: bounded by the time a newcomer would wait, judged from the checks
// ahead and one check's time, never by a clock in the test.
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "dataservice/auth/check_queue.h"
#include "dataservice/operation/metrics.h"

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

double metric(const std::string& name) {
    const std::string page = Metrics::global().render(0, 0);
    const std::size_t at = page.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::stod(page.substr(at + name.size() + 2));
}


TEST(CheckQueue, CountsTheProcessorTimeOfItsChecksNotTheirWaits) {
    // What capacity planning divides by: a check that sleeps costs the cores nothing.
    const double checks = metric("vantrel_password_checks_total"),
                 cpu = metric("vantrel_password_check_cpu_seconds_total");
    ASSERT_GE(checks, 0);
    CheckQueue queue(1, 10s, 1ms);
    EXPECT_FALSE(queue.post([] { std::this_thread::sleep_for(300ms); }));
    EXPECT_FALSE(queue.post([] {
        const double began = threadCpuSeconds();
        while (threadCpuSeconds() - began < 0.05) {
        }
    }));
    while (queue.pending() > 0) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(metric("vantrel_password_checks_total") - checks, 2);
    const double spent = metric("vantrel_password_check_cpu_seconds_total") - cpu;
    EXPECT_GE(spent, 0.05);
    EXPECT_LT(spent, 0.25) << "the sleeping check's 0.3 s counted as processor time";
}

}  // namespace
}  // namespace dataservice
