// The system's local address, checked against the machine's own interface list and routes.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/network/network.h"

namespace {

struct Machine {
    std::map<std::string, std::set<std::string>> upAddresses;  // non-loopback, up: interface -> addresses
    bool loopbackUp = false;
    std::set<std::string> defaultRouteInterfaces;
};

Machine ReadMachine() {
    Machine m;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return m;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text);
        if ((i->ifa_flags & IFF_LOOPBACK) || std::string(text).rfind("127.", 0) == 0)
            m.loopbackUp = true;
        else
            m.upAddresses[i->ifa_name].insert(text);
    }
    freeifaddrs(list);
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);
    while (std::getline(routes, line)) {
        std::istringstream f(line);
        std::string iface, destination, gateway, flags, refs, use, metric, mask;
        if (f >> iface >> destination >> gateway >> flags >> refs >> use >> metric >> mask && destination == "00000000" &&
            mask == "00000000")
            m.defaultRouteInterfaces.insert(iface);
    }
    return m;
}

TEST(SystemNetwork, ReportsAnAddressOfThisMachineByTheRules) {
    const Machine m = ReadMachine();
    auto network = platform::makeSystemNetwork();
    const std::string address = network->LocalIP();

    if (m.upAddresses.empty()) {
        EXPECT_EQ(address, m.loopbackUp ? "127.0.0.1" : "");
        return;
    }
    in_addr parsed{};
    ASSERT_EQ(inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
    std::string owner;
    for (const auto& [name, addresses] : m.upAddresses)
        if (addresses.count(address)) owner = name;
    ASSERT_FALSE(owner.empty()) << address << " is no address of an interface that is up";
    bool routedHasAddress = false;
    for (const std::string& name : m.defaultRouteInterfaces) routedHasAddress |= m.upAddresses.count(name) > 0;
    if (routedHasAddress) {
        EXPECT_TRUE(m.defaultRouteInterfaces.count(owner)) << owner << " carries no default route";
    }
}

TEST(SystemNetwork, AnswersAlikeAfterCloseAndRefresh) {
    auto network = platform::makeSystemNetwork();
    const std::string first = network->LocalIP();
    network->Close();
    EXPECT_EQ(network->LocalIP(), first);
    network->Close();
    network->Refresh();
    EXPECT_EQ(network->LocalIP(), first);
}

}  // namespace
