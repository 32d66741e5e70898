// The machine's primary local IPv4 address, from the interface list and the routing table.
#include "platform/network/linux/system_network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/common/errors.h"
#include "platform/network/primary_address.h"

namespace platform {
namespace net {
namespace {

bool IsLoopback(const InterfaceAddress& a) {
    return (a.flags & IFF_LOOPBACK) != 0 || (ntohl(a.address.s_addr) >> 24) == 127;
}

std::string Dotted(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text)) throw PlatformError("inet_ntop failed");
    return text;
}

// `path` (absolute, as the machine sees it) below `root`.
std::string BelowRoot(const std::string& root, const std::string& path) {
    std::string folder = root;
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder + path;
}

std::vector<InterfaceAddress> ReadInterfaces() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) throw PlatformError(std::string("getifaddrs: ") + std::strerror(errno));
    std::vector<InterfaceAddress> result;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_name) continue;
        InterfaceAddress a;
        a.name = i->ifa_name;
        a.flags = i->ifa_flags;
        a.address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
        result.push_back(a);
    }
    freeifaddrs(list);
    return result;
}

}  // namespace

std::vector<std::string> defaultRouteInterfaces(const std::string& root) {
    std::ifstream routes(BelowRoot(root, "/proc/net/route"));
    std::string line;
    std::getline(routes, line);  // the heading
    std::vector<std::pair<long, std::string>> found;
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >> mask)) continue;
        unsigned long flagBits = 0;
        long metricValue = 0;
        try {
            flagBits = std::stoul(flags, nullptr, 16);
            metricValue = std::stol(metric);
        } catch (const std::exception&) {
            continue;
        }
        if (destination != "00000000" || mask != "00000000" || !(flagBits & RTF_UP)) continue;
        found.emplace_back(metricValue, iface);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (const auto& f : found) names.push_back(f.second);
    return names;
}

std::string primaryAddress(const std::vector<InterfaceAddress>& interfaces, const std::vector<std::string>& routed) {
    std::vector<Candidate> candidates;
    for (const InterfaceAddress& a : interfaces) {
        Candidate c{Dotted(a.address), (a.flags & IFF_UP) != 0, IsLoopback(a), std::nullopt};
        const auto route = std::find(routed.begin(), routed.end(), a.name);
        if (route != routed.end()) c.routeRank = static_cast<std::size_t>(route - routed.begin());
        candidates.push_back(std::move(c));
    }
    return PrimaryAddress(candidates);
}

}  // namespace net

namespace {

// The socket control of the connectivity test: it holds the interfaces it last read.
class SystemNetwork final : public Network {
public:
    explicit SystemNetwork(std::string root) : root_(std::move(root)) {}

    void Close() override { interfaces_.reset(); }
    void Refresh() override { interfaces_ = net::ReadInterfaces(); }
    std::string LocalIP() override {
        if (!interfaces_) interfaces_ = net::ReadInterfaces();
        return net::primaryAddress(*interfaces_, net::defaultRouteInterfaces(root_));
    }

private:
    std::string root_;
    std::optional<std::vector<net::InterfaceAddress>> interfaces_;
};

}  // namespace

std::unique_ptr<Network> makeNetworkAt(std::string root) { return std::make_unique<SystemNetwork>(std::move(root)); }

std::unique_ptr<Network> makeSystemNetwork() {
    const char* root = std::getenv("VANTREL_SYSROOT");
    return makeNetworkAt(root && *root ? root : "/");
}

}  // namespace platform
