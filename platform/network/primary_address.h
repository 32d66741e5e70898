#pragma once
// Which of the machine's IPv4 addresses is its primary one, the same rule on every system; the
// backends only read the candidates.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform::net {

struct Candidate {
    std::string address;  // dotted
    bool up = false;
    bool loopback = false;
    // Set when the address's interface carries a default route: lower comes first.
    std::optional<std::size_t> routeRank;
};

// The first routed candidate that is up and not loopback (by rank, then in order); else the first
// that is up and not loopback; else "127.0.0.1" when a loopback is up; else empty.
std::string PrimaryAddress(const std::vector<Candidate>& candidates);

}  // namespace platform::net
