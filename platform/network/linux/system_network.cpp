// The machine's primary local IPv4 address, from the interface list and the routing table.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/common/errors.h"
#include "platform/network/network.h"

namespace platform {
namespace {

struct InterfaceAddress {
    std::string name;
    unsigned flags = 0;
    in_addr address{};
};

bool IsLoopback(const InterfaceAddress& a) {
    return (a.flags & IFF_LOOPBACK) != 0 || (ntohl(a.address.s_addr) >> 24) == 127;
}

std::string Dotted(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text)) throw PlatformError("inet_ntop failed");
    return text;
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

// The interfaces that carry a default route, lowest metric first. None when the table cannot be read.
std::vector<std::string> DefaultRouteInterfaces() {
    std::ifstream routes("/proc/net/route");
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

std::string PrimaryAddress(const std::vector<InterfaceAddress>& interfaces) {
    for (const std::string& name : DefaultRouteInterfaces())
        for (const InterfaceAddress& a : interfaces)
            if (a.name == name && (a.flags & IFF_UP) && !IsLoopback(a)) return Dotted(a.address);
    for (const InterfaceAddress& a : interfaces)
        if ((a.flags & IFF_UP) && !IsLoopback(a)) return Dotted(a.address);
    for (const InterfaceAddress& a : interfaces)
        if ((a.flags & IFF_UP) && IsLoopback(a)) return "127.0.0.1";
    return {};
}

// The socket control of the connectivity test: it holds the interfaces it last read.
class SystemNetwork final : public Network {
public:
    void Close() override { interfaces_.reset(); }
    void Refresh() override { interfaces_ = ReadInterfaces(); }
    std::string LocalIP() override {
        if (!interfaces_) interfaces_ = ReadInterfaces();
        return PrimaryAddress(*interfaces_);
    }

private:
    std::optional<std::vector<InterfaceAddress>> interfaces_;
};

}  // namespace

std::unique_ptr<Network> makeSystemNetwork() { return std::make_unique<SystemNetwork>(); }

}  // namespace platform
