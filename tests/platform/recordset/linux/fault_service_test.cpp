// The HTTP record source against services that stall or fail: every wait is bounded, a series
// of requests to a service that stopped answering does not pay the full wait each time, and a
// service that comes back gets the requests sent after its return. The bounds asserted here are
// generous; the figures themselves come from bench_stalled_service.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "platform/recordset/recordset.h"
#include "tests/support/fault_server.h"

namespace {

using faults::Behaviour;
using faults::FaultServer;
using platform::PlatformError;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Requests `count` pages in quick succession; how many succeeded.
int Series(platform::RecordSource& source, const FaultServer& server, int count, const std::string& tag) {
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        try {
            source.Open(server.Base() + "sftdata.asp?qIS=" + tag + std::to_string(i));
            ++answered;
        } catch (const PlatformError&) {
        }
    }
    return answered;
}

class StalledService : public testing::Test {
protected:
    void SetUp() override { setenv("no_proxy", "127.0.0.1,localhost", 1); }
};

TEST_F(StalledService, ASilentServiceCostsOneBoundedWaitThenShortOnesForTheSeries) {
    FaultServer server(Behaviour::Silent);
    auto source = platform::makeHttpRecordSource();
    const auto start = Clock::now();
    EXPECT_THROW(source->Open(server.Base() + "getdata.asp?UID=a"), PlatformError);
    EXPECT_LT(SecondsSince(start), 20.0);  // once 60 s

    const auto series = Clock::now();
    EXPECT_EQ(Series(*source, server, 40, "s"), 0);
    EXPECT_LT(SecondsSince(series), 25.0);  // 40 full waits would be 400 s
    // Every request of the series was still made.
    EXPECT_EQ(server.Received().size(), 41u);
}

TEST_F(StalledService, TheBriefRequestGivesUpSoonerThanAFullOne) {
    FaultServer server(Behaviour::Silent);
    auto source = platform::makeHttpRecordSource();
    const auto start = Clock::now();
    EXPECT_THROW(source->OpenBriefly(server.Base() + "getversion.asp?Major=1"), PlatformError);
    EXPECT_LT(SecondsSince(start), 8.0);
}

TEST_F(StalledService, AServiceThatClosesEveryConnectionFailsEveryRequestQuickly) {
    FaultServer server(Behaviour::CloseAtOnce);
    auto source = platform::makeHttpRecordSource();
    const auto start = Clock::now();
    EXPECT_EQ(Series(*source, server, 100, "c"), 0);
    EXPECT_LT(SecondsSince(start), 20.0);
    EXPECT_GE(server.Connections(), 100);
}

TEST_F(StalledService, ASlowServiceIsWaitedFor) {
    FaultServer server(Behaviour::Answer, 1500ms);
    auto source = platform::makeHttpRecordSource();
    EXPECT_EQ(source->OpenBriefly(server.Base() + "getversion.asp").RecordCount(), 1);
    EXPECT_EQ(Series(*source, server, 2, "slow"), 2);
}

TEST_F(StalledService, AServiceThatDiesAndComesBackGetsTheRequestsAfterItsReturn) {
    FaultServer server(Behaviour::Answer);
    auto source = platform::makeHttpRecordSource();
    EXPECT_EQ(Series(*source, server, 5, "before"), 5);
    server.Set(Behaviour::Down);
    EXPECT_EQ(Series(*source, server, 5, "down"), 0);
    server.Set(Behaviour::Answer);
    EXPECT_EQ(Series(*source, server, 5, "after"), 5);
    EXPECT_THAT(server.Received(), testing::Contains("/sftdata.asp?qIS=after0"));
    EXPECT_THAT(server.Received(), testing::Not(testing::Contains("/sftdata.asp?qIS=down0")));
}

TEST_F(StalledService, ASilentServiceThatStartsAnsweringIsHeardAtOnce) {
    FaultServer server(Behaviour::Silent);
    platform::HttpWaits waits;
    waits.requestMs = 1'000;
    auto source = platform::makeHttpRecordSource(waits);
    EXPECT_EQ(Series(*source, server, 10, "silent"), 0);
    server.Set(Behaviour::Answer);
    EXPECT_EQ(Series(*source, server, 10, "back"), 10);
}

TEST_F(StalledService, ASlowServiceThatComesBackIsFoundByTheNextFullWait) {
    FaultServer server(Behaviour::Down);
    platform::HttpWaits waits;
    waits.shortMs = 50;
    waits.probeEveryMs = 500;
    auto source = platform::makeHttpRecordSource(waits);
    EXPECT_EQ(Series(*source, server, 3, "down"), 0);
    // Back, but slower than the short wait: the short waits fail until a full one is due.
    server.SetDelay(200ms);
    server.Set(Behaviour::Answer);
    int answered = 0;
    const auto start = Clock::now();
    while (answered == 0 && SecondsSince(start) < 10.0) answered = Series(*source, server, 1, "probe");
    EXPECT_EQ(answered, 1);
    // Back to full waits: every request is answered again.
    EXPECT_EQ(Series(*source, server, 3, "again"), 3);
}

}  // namespace
