#pragma once
// The network of a machine tree: the running machine's interfaces, and the routing table read
// below a root folder ("/" for the running machine, a copy of one for tests and demonstrations).
#include <netinet/in.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/network/network.h"

namespace platform {

namespace net {

struct InterfaceAddress {
    std::string name;
    unsigned flags = 0;  // IFF_UP, IFF_LOOPBACK, ...
    in_addr address{};
};

// The interfaces that carry a default route in `root`/proc/net/route, lowest metric first
// (equal metrics in the table's order). None when the table cannot be read; lines that do not
// parse are skipped.
std::vector<std::string> defaultRouteInterfaces(const std::string& root);

// The address of the first interface of `routed` that is up and not loopback; else of the first
// such interface at all; else "127.0.0.1" when loopback is up; else empty.
std::string primaryAddress(const std::vector<InterfaceAddress>& interfaces, const std::vector<std::string>& routed);

}  // namespace net

std::unique_ptr<Network> makeNetworkAt(std::string root);

}  // namespace platform
