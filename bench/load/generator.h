#pragma once
// The load generator: one thread, epoll, kept-alive HTTP/1.1 connections on 127.0.0.1.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/load/common.h"

namespace load {

// What one connection asks next: the request target ("/page.asp?..."), or nothing when its
// work is done (the connection is then closed, as a collector's is after its run).
using NextTarget = std::function<std::optional<std::string>(int connection)>;
// Told of each answered or failed request, in the order the connection made them.
using OnResult = std::function<void(int connection, bool ok)>;

// One request's outcome, for a workload that acts on it as a client would.
struct Reply {
    int status = 0;         // 0: no reply (a timeout or a broken connection)
    double retryAfter = -1;  // the Retry-After header's seconds; -1 without one
    std::uint32_t latencyUs = 0;
};
// Told of every request's outcome before the connection's next request; answers how long the
// connection waits before that one (closed meanwhile, as a client that comes back later).
using OnReply = std::function<Clock::duration(int connection, const Reply& reply)>;

struct LoadResult {
    double seconds = 0;      // from the start to the last reply (or the deadline)
    std::uint64_t ok = 0;    // status 200 with a whole body
    std::uint64_t failed = 0;  // another status, a broken connection or a timeout
    std::uint64_t timeouts = 0;
    int connections = 0;
    int silentConnections = 0;      // connections that never got a reply
    std::vector<std::uint32_t> latencyUs;  // of the ok requests
    std::string firstBody;               // of the first ok reply, to compare targets by

    double rate() const { return seconds > 0 ? static_cast<double>(ok) / seconds : 0; }
    double percentileMs(double p) {
        if (latencyUs.empty()) return 0;
        const std::size_t k = std::min(latencyUs.size() - 1, static_cast<std::size_t>(p * latencyUs.size()));
        std::nth_element(latencyUs.begin(), latencyUs.begin() + static_cast<std::ptrdiff_t>(k), latencyUs.end());
        return latencyUs[k] / 1000.0;
    }
};

// Drives `connections` kept-alive HTTP/1.1 connections to 127.0.0.1 from one thread, connection
// i to `ports[i % ports.size()]` (several processes of one service share the load evenly):
// each sends a request, reads the whole reply, and sends the next, until `next` has no more
// for it or `duration` has passed. A request that fails is counted and the connection is made
// anew for the next one, as a client library would. Requests are plain GETs with a
// Content-Length reply expected (every target here answers so).
class Generator {
public:
    Generator(std::vector<int> ports, int connections, Clock::duration requestTimeout);
    Generator(int port, int connections, Clock::duration requestTimeout)
        : Generator(std::vector<int>{port}, connections, requestTimeout) {}
    ~Generator();
    Generator(const Generator&) = delete;
    Generator& operator=(const Generator&) = delete;

    LoadResult run(const NextTarget& next, const OnResult& onResult, Clock::duration duration);
    // Set before run(): replies and failures then also go to `onReply`.
    void setOnReply(OnReply onReply);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace load
