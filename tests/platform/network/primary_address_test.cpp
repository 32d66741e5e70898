// The one rule both network backends choose the primary address by.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/network/primary_address.h"

namespace {

using platform::net::Candidate;

struct Choice {
    const char* name;
    std::vector<Candidate> candidates;
    const char* primary;
};

std::ostream& operator<<(std::ostream& os, const Choice& c) { return os << c.name; }

const Candidate kLoopback{"127.0.0.1", true, true, std::nullopt};
const Candidate kDocker{"172.17.0.1", true, false, std::nullopt};
const Candidate kWifi{"192.168.1.7", true, false, 20};
const Candidate kCable{"10.0.0.5", true, false, 10};
const Candidate kCableDown{"10.9.9.9", false, false, 1};
const Candidate kRoutedLoopback{"127.0.0.1", true, true, 0};

const Choice kChoices[] = {
    {"TheRoutedOneOverAnEarlierUnrouted", {kLoopback, kDocker, kWifi}, "192.168.1.7"},
    {"TheLowestRankWhateverTheOrder", {kWifi, kCable}, "10.0.0.5"},
    {"EqualRanksInOrder", {Candidate{"10.1.1.1", true, false, 5}, Candidate{"10.2.2.2", true, false, 5}}, "10.1.1.1"},
    {"ARoutedOneThatIsDownGivesWay", {kCableDown, kWifi}, "192.168.1.7"},
    {"LoopbackNeverWhileAnotherIsUp", {kRoutedLoopback, kDocker}, "172.17.0.1"},
    {"NoRouteTheFirstThatIsUp", {kLoopback, kCableDown, kDocker}, "172.17.0.1"},
    {"OnlyLoopbackUp", {kCableDown, Candidate{"127.0.1.1", true, true, std::nullopt}}, "127.0.0.1"},
    {"NothingUp", {kCableDown, Candidate{"127.0.0.1", false, true, std::nullopt}}, ""},
    {"NoAddressAtAll", {}, ""},
};

class PrimaryAddress : public testing::TestWithParam<Choice> {};

TEST_P(PrimaryAddress, IsChosenByRouteThenUpThenLoopback) {
    EXPECT_EQ(platform::net::PrimaryAddress(GetParam().candidates), GetParam().primary);
}

INSTANTIATE_TEST_SUITE_P(Machines, PrimaryAddress, testing::ValuesIn(kChoices),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
