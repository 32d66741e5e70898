#pragma once
// The service's counters, read by Prometheus. Every thread that counts has a block of its own
// (relaxed atomics only it writes), so a request pays no lock and shares no cache line; a scrape
// adds the blocks up. A thread's block outlives it and goes to the next new thread, so nothing
// counted is lost and threads that come and go do not add blocks.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dataservice {

enum class SignInRefusal { Password, Limited, Count };

class Metrics {
public:
    // The page labels: every known page, then "profile", "healthz" and "other".
    static constexpr std::size_t kMaxPages = 40;
    static constexpr std::array<int, 18> kStatuses = {200, 204, 301, 302, 303, 304, 400, 401, 403,
                                                      404, 405, 408, 413, 429, 431, 500, 503, 0};
    static constexpr std::array<double, 13> kSecondsBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                               0.25,  0.5,    1,     2.5,  5,    10};
    static constexpr std::array<double, 8> kBatchBuckets = {1, 2, 4, 8, 16, 32, 64, 128};

    // The process's counters.
    static Metrics& global();
    // Names the page labels (the first call only; before any request is counted).
    void setPages(const std::vector<std::string>& pages);

    // The label slot of a page name as the page table spells it, or of "profile", "healthz";
    // anything else is "other".
    std::size_t pageSlot(std::string_view label) const;

    // Requests and commits are counted only while someone may read them (the metrics listener
    // is on), so that a service without one pays nothing; refusals are counted always.
    void setCounting(bool on) { counting_.store(on, std::memory_order_relaxed); }
    bool counting() const { return counting_.load(std::memory_order_relaxed); }

    void request(std::size_t page, int status, double seconds);
    void commit(std::size_t batchSize, double seconds, std::size_t failed);
    void signInRefused(SignInRefusal reason);
    // The password checks' queue: checks queued or running now, how long one waited to start,
    // and checks refused because they could not start in time.
    void passwordChecksPending(std::int64_t n) { checksPending_.store(n, std::memory_order_relaxed); }
    void passwordCheckWaited(double seconds);
    void passwordCheckRefused();
    // A check that ran, and the processor time its thread spent on it (a key derivation, nearly all).
    void passwordCheckRan(double cpuSeconds);
    // The refused sign-ins so far, by reason, for the log's summary.
    using SignInRefusals = std::array<std::uint64_t, static_cast<std::size_t>(SignInRefusal::Count)>;
    SignInRefusals signInRefusals() const;

    // Prometheus text format 0.0.4; the connections are the public listener's: open now, and
    // refused since it started.
    std::string render(long connectionsOpen, std::uint64_t connectionsRefused) const;

    struct Block;

private:
    Metrics() = default;
    Block& mine();
    void renderPasswordChecks(std::string& out, const std::vector<Block*>& blocks) const;
    void named(const std::vector<std::string>& pages);

    std::vector<std::string> pages_{"other"};
    std::atomic<bool> counting_{false};
    std::atomic<std::int64_t> checksPending_{0};
};

}  // namespace dataservice
