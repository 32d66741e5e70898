// The local address: the route reader and the choice over fixture route tables, and the system
// backend over this machine's own interfaces.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/network/linux/system_network.h"
#include "platform/network/network.h"
#include "tests/support/scratch_dir.h"

namespace {

using platform::net::InterfaceAddress;

const std::string kRoutes = std::string(VANTREL_FIXTURES_DIR) + "/routes/";

InterfaceAddress Interface(const char* name, const char* address, unsigned flags) {
    InterfaceAddress a;
    a.name = name;
    a.flags = flags;
    inet_pton(AF_INET, address, &a.address);
    return a;
}

// The machine the fixture tables are read against, in getifaddrs order: the first usable
// interface is none that a table routes, so a fallback shows.
const std::vector<InterfaceAddress> kInterfaces = {
    Interface("lo", "127.0.0.1", IFF_UP | IFF_LOOPBACK),
    Interface("docker0", "172.17.0.1", IFF_UP),
    Interface("eth1", "10.9.9.9", 0),
    Interface("wlan0", "192.168.1.7", IFF_UP),
    Interface("eth0", "10.0.0.5", IFF_UP),
};

struct RouteCase {
    const char* table;  // a folder of tests/fixtures/routes (none there: no table at all)
    std::vector<std::string> routed;
    const char* address;
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.table; }

class RouteTable : public testing::TestWithParam<RouteCase> {};

TEST_P(RouteTable, NamesTheDefaultRoutesAndTheAddressTheyLeadTo) {
    const RouteCase& c = GetParam();
    const std::vector<std::string> routed = platform::net::defaultRouteInterfaces(kRoutes + c.table);
    EXPECT_EQ(routed, c.routed);
    EXPECT_EQ(platform::net::primaryAddress(kInterfaces, routed), c.address);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RouteTable,
    testing::Values(
        RouteCase{"one_default", {"wlan0"}, "192.168.1.7"},
        // No default route: the first interface that is up and not loopback.
        RouteCase{"no_default", {}, "172.17.0.1"}, RouteCase{"missing", {}, "172.17.0.1"},
        // The lower metric wins, whatever the table's order.
        RouteCase{"two_defaults", {"eth0", "wlan0"}, "10.0.0.5"},
        // A routed interface that is down gives way to the next route.
        RouteCase{"default_on_down", {"eth1", "wlan0"}, "192.168.1.7"},
        // Short lines, bad numbers, a route that is not up, a mask that is no default's: skipped.
        RouteCase{"malformed", {"wlan0"}, "192.168.1.7"},
        // Loopback is never the answer while another interface is up.
        RouteCase{"loopback_default", {"lo"}, "172.17.0.1"}),
    [](const testing::TestParamInfo<RouteCase>& info) { return std::string(info.param.table); });

TEST(RouteChoice, FallsBackToLoopbackAndThenToNothing) {
    EXPECT_EQ(platform::net::primaryAddress({kInterfaces[0], kInterfaces[2]}, {"eth1"}), "127.0.0.1");
    EXPECT_EQ(platform::net::primaryAddress({kInterfaces[2]}, {}), "");
    EXPECT_EQ(platform::net::primaryAddress({}, {}), "");
}

// This machine's IPv4 interfaces that are up, non-loopback, by name.
struct Machine {
    std::map<std::string, std::set<std::string>> upAddresses;
    bool loopbackUp = false;
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
    return m;
}

class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvironmentVariable() {
        if (old_) ::setenv(name_, old_->c_str(), 1); else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

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
}

// Each interface of this machine in turn carries the only default route of a table written
// below a root: the address is that interface's.
TEST(SystemNetwork, TakesTheAddressOfTheInterfaceTheTableBelowTheRootRoutes) {
    const Machine m = ReadMachine();
    if (m.upAddresses.empty()) GTEST_SKIP() << "no interface but loopback is up";
    for (const auto& [name, addresses] : m.upAddresses) {
        ScratchDir root;
        root.write("proc/net/route", "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\tWindow\tIRTT\n" +
                                         name + "\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n");
        EXPECT_EQ(addresses.count(platform::makeNetworkAt(root.path().string())->LocalIP()), 1u) << name;
        EnvironmentVariable sysroot("VANTREL_SYSROOT", root.path().string());
        EXPECT_EQ(addresses.count(platform::makeSystemNetwork()->LocalIP()), 1u) << name << " from VANTREL_SYSROOT";
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
