// The network address from IP Helper.
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "platform/network/network.h"

namespace {

TEST(Network, TheLocalAddressIsDottedIPv4) {
    auto network = platform::makeSystemNetwork();
    network->Refresh();
    const std::string address = network->LocalIP();
    EXPECT_TRUE(std::regex_match(address, std::regex(R"((\d{1,3}\.){3}\d{1,3})"))) << address;
    network->Close();
    EXPECT_EQ(network->LocalIP(), address);  // read afresh after a close
}

}  // namespace
