#include "platform/network/primary_address.h"

namespace platform::net {

std::string PrimaryAddress(const std::vector<Candidate>& candidates) {
    const Candidate* best = nullptr;
    for (const Candidate& c : candidates)
        if (c.up && !c.loopback && c.routeRank && (!best || *c.routeRank < *best->routeRank)) best = &c;
    if (best) return best->address;
    for (const Candidate& c : candidates)
        if (c.up && !c.loopback) return c.address;
    for (const Candidate& c : candidates)
        if (c.up && c.loopback) return "127.0.0.1";
    return {};
}

}  // namespace platform::net
