#include "dataservice/operation/metrics.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <mutex>

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "unknown"
#endif

namespace dataservice {
namespace {

using Counter = std::atomic<std::uint64_t>;
constexpr std::size_t kStatusCount = Metrics::kStatuses.size();
constexpr std::size_t kSecondsSlots = Metrics::kSecondsBuckets.size() + 1;  // the last is +Inf
constexpr std::size_t kBatchSlots = Metrics::kBatchBuckets.size() + 1;

// Only the owning thread writes, so a relaxed load and store is enough and costs no lock.
void add(Counter& c, std::uint64_t n = 1) { c.store(c.load(std::memory_order_relaxed) + n, std::memory_order_relaxed); }
std::uint64_t get(const Counter& c) { return c.load(std::memory_order_relaxed); }

template <std::size_t N>
std::size_t bucketOf(const std::array<double, N>& bounds, double value) {
    return static_cast<std::size_t>(std::lower_bound(bounds.begin(), bounds.end(), value) - bounds.begin());
}

std::size_t statusSlot(int status) {
    const auto* end = Metrics::kStatuses.end() - 1;  // the last slot takes every other status
    const auto* found = std::find(Metrics::kStatuses.begin(), end, status);
    return static_cast<std::size_t>(found - Metrics::kStatuses.begin());
}

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

}  // namespace

struct Metrics::Block {
    std::array<std::array<Counter, kStatusCount>, kMaxPages> requests{};
    std::array<std::array<Counter, kSecondsSlots>, kMaxPages> requestSeconds{};
    std::array<Counter, kMaxPages> requestMicros{};
    std::array<Counter, kBatchSlots> batch{};
    Counter batchItems{};
    std::array<Counter, kSecondsSlots> commitSeconds{};
    Counter commitMicros{};
    Counter storeErrors{};
    std::array<Counter, static_cast<std::size_t>(SignInRefusal::Count)> refused{};
    std::array<Counter, kSecondsSlots> checkWait{};
    Counter checkWaitMicros{};
    Counter checksBusy{};
    Counter checksRun{};
    Counter checkCpuMicros{};
};

namespace {

// Every block there is. Never destroyed: the process keeps its counts, threads may end after
// static destruction, and the blocks stay reachable for the leak checker.
struct Blocks {
    std::mutex mutex;
    std::vector<Metrics::Block*> all;
    std::vector<Metrics::Block*> free;  // of threads that have ended
};
Blocks& blocks() {
    static Blocks* b = new Blocks;
    return *b;
}

// Hands the block back when its thread ends.
struct Owner {
    Metrics::Block* block = nullptr;
    ~Owner() {
        if (!block) return;
        std::lock_guard lock(blocks().mutex);
        blocks().free.push_back(block);
    }
};

}  // namespace

void Metrics::setPages(const std::vector<std::string>& pages) {
    static std::once_flag once;
    std::call_once(once, [&] { named(pages); });
}

void Metrics::named(const std::vector<std::string>& pages) {
    pages_ = pages;
    pages_.push_back("profile");
    pages_.push_back("healthz");
    pages_.resize(std::min(pages_.size(), kMaxPages - 1));
    pages_.push_back("other");
}

Metrics& Metrics::global() {
    static Metrics* metrics = new Metrics;  // used by threads that may outlive static destruction
    return *metrics;
}

Metrics::Block& Metrics::mine() {
    thread_local Owner owner;
    if (!owner.block) {
        Blocks& b = blocks();
        std::lock_guard lock(b.mutex);
        if (!b.free.empty()) {
            owner.block = b.free.back();
            b.free.pop_back();
        } else {
            owner.block = new Block;
            b.all.push_back(owner.block);
        }
    }
    return *owner.block;
}

std::size_t Metrics::pageSlot(std::string_view label) const {
    for (std::size_t i = 0; i + 1 < pages_.size(); ++i)
        if (pages_[i] == label) return i;
    return pages_.size() - 1;
}

void Metrics::request(std::size_t page, int status, double seconds) {
    if (!counting()) return;
    Block& b = mine();
    page = std::min(page, pages_.size() - 1);
    add(b.requests[page][statusSlot(status)]);
    add(b.requestSeconds[page][bucketOf(kSecondsBuckets, seconds)]);
    add(b.requestMicros[page], static_cast<std::uint64_t>(std::max(0.0, seconds) * 1e6));
}

void Metrics::commit(std::size_t batchSize, double seconds, std::size_t failed) {
    if (!counting() && !failed) return;
    Block& b = mine();
    if (failed) add(b.storeErrors, failed);
    if (!counting()) return;
    add(b.batch[bucketOf(kBatchBuckets, static_cast<double>(batchSize))]);
    add(b.batchItems, batchSize);
    add(b.commitSeconds[bucketOf(kSecondsBuckets, seconds)]);
    add(b.commitMicros, static_cast<std::uint64_t>(std::max(0.0, seconds) * 1e6));
}

void Metrics::signInRefused(SignInRefusal reason) { add(mine().refused[static_cast<std::size_t>(reason)]); }

void Metrics::passwordCheckWaited(double seconds) {
    Block& b = mine();
    add(b.checkWait[bucketOf(kSecondsBuckets, seconds)]);
    add(b.checkWaitMicros, static_cast<std::uint64_t>(std::max(0.0, seconds) * 1e6));
}

void Metrics::passwordCheckRefused() { add(mine().checksBusy); }

void Metrics::passwordCheckRan(double cpuSeconds) {
    Block& b = mine();
    add(b.checksRun);
    add(b.checkCpuMicros, static_cast<std::uint64_t>(std::max(0.0, cpuSeconds) * 1e6));
}

namespace {

// Adds `field` of every block up.
template <class F>
std::uint64_t total(const std::vector<Metrics::Block*>& blocks, F field) {
    std::uint64_t sum = 0;
    for (const Metrics::Block* b : blocks) sum += get(field(*b));
    return sum;
}

template <std::size_t N, class F>
void histogram(std::string& out, const std::string& name, const std::string& labels,
               const std::array<double, N>& bounds, const std::vector<Metrics::Block*>& blocks, F slot,
               double sum) {
    std::uint64_t running = 0;
    const std::string sep = labels.empty() ? "" : labels + ",";
    for (std::size_t i = 0; i <= N; ++i) {
        running += total(blocks, [&](const Metrics::Block& b) -> const Counter& { return slot(b, i); });
        out += name + "_bucket{" + sep + "le=\"" + (i < N ? number(bounds[i]) : std::string("+Inf")) + "\"} " +
               std::to_string(running) + "\n";
    }
    const std::string braces = labels.empty() ? "" : "{" + labels + "}";
    out += name + "_sum" + braces + " " + number(sum) + "\n";
    out += name + "_count" + braces + " " + std::to_string(running) + "\n";
}

void head(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

std::vector<Metrics::Block*> everyBlock() {
    Blocks& all = blocks();
    std::lock_guard lock(all.mutex);
    return all.all;
}

}  // namespace

Metrics::SignInRefusals Metrics::signInRefusals() const {
    const auto blocks = everyBlock();
    SignInRefusals r{};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = total(blocks, [i](const Block& b) -> const Counter& { return b.refused[i]; });
    return r;
}

// The sign-in refusals and the password checks' queue.
void Metrics::renderPasswordChecks(std::string& out, const std::vector<Block*>& blocks) const {
    head(out, "vantrel_signin_refused_total", "counter", "Passwords refused, by reason.");
    const char* reasons[] = {"password", "limited"};
    const SignInRefusals refused = signInRefusals();
    for (std::size_t r = 0; r < std::size(reasons); ++r)
        out += std::string("vantrel_signin_refused_total{reason=\"") + reasons[r] + "\"} " +
               std::to_string(refused[r]) + "\n";

    head(out, "vantrel_password_checks_pending", "gauge", "Password checks queued or running now.");
    out += "vantrel_password_checks_pending " + std::to_string(checksPending_.load(std::memory_order_relaxed)) + "\n";
    head(out, "vantrel_password_check_wait_seconds", "histogram", "Time a password check waited to start.");
    histogram(out, "vantrel_password_check_wait_seconds", "", kSecondsBuckets, blocks,
              [](const Block& b, std::size_t i) -> const Counter& { return b.checkWait[i]; },
              static_cast<double>(total(blocks, [](const Block& b) -> const Counter& { return b.checkWaitMicros; })) / 1e6);
    head(out, "vantrel_password_checks_refused_total", "counter",
         "Password checks refused as busy: they could not have started within the bound.");
    out += "vantrel_password_checks_refused_total " +
           std::to_string(total(blocks, [](const Block& b) -> const Counter& { return b.checksBusy; })) + "\n";
    head(out, "vantrel_password_checks_total", "counter", "Password checks run.");
    out += "vantrel_password_checks_total " +
           std::to_string(total(blocks, [](const Block& b) -> const Counter& { return b.checksRun; })) + "\n";
    head(out, "vantrel_password_check_cpu_seconds_total", "counter",
         "Processor time the password checks took: their key derivations, nearly all.");
    out += "vantrel_password_check_cpu_seconds_total " +
           std::to_string(static_cast<double>(total(blocks, [](const Block& b) -> const Counter& {
                              return b.checkCpuMicros;
                          })) / 1e6) + "\n";
}

std::string Metrics::render(long connectionsOpen, std::uint64_t connectionsRefused) const {
    const auto blocks = everyBlock();
    std::string out;
    out.reserve(32 * 1024);

    head(out, "vantrel_http_requests_total", "counter", "HTTP requests answered, by page and status.");
    for (std::size_t p = 0; p < pages_.size(); ++p)
        for (std::size_t s = 0; s < kStatusCount; ++s) {
            const auto n = total(blocks, [&](const Block& b) -> const Counter& { return b.requests[p][s]; });
            if (n == 0) continue;
            const std::string status = kStatuses[s] ? std::to_string(kStatuses[s]) : "other";
            out += "vantrel_http_requests_total{page=\"" + pages_[p] + "\",status=\"" + status + "\"} " +
                   std::to_string(n) + "\n";
        }

    head(out, "vantrel_http_request_duration_seconds", "histogram",
         "Time from a request's arrival to its answer, by page.");
    for (std::size_t p = 0; p < pages_.size(); ++p) {
        const auto count = total(blocks, [&](const Block& b) -> const Counter& { return b.requestSeconds[p][kSecondsSlots - 1]; });
        std::uint64_t any = count;
        for (std::size_t i = 0; i + 1 < kSecondsSlots && !any; ++i)
            any += total(blocks, [&](const Block& b) -> const Counter& { return b.requestSeconds[p][i]; });
        if (!any) continue;
        const double sum = static_cast<double>(total(blocks, [&](const Block& b) -> const Counter& { return b.requestMicros[p]; })) / 1e6;
        histogram(out, "vantrel_http_request_duration_seconds", "page=\"" + pages_[p] + "\"", kSecondsBuckets, blocks,
                  [p](const Block& b, std::size_t i) -> const Counter& { return b.requestSeconds[p][i]; }, sum);
    }

    head(out, "vantrel_store_commit_batch_size", "histogram", "Transactions committed together in one commit.");
    histogram(out, "vantrel_store_commit_batch_size", "", kBatchBuckets, blocks,
              [](const Block& b, std::size_t i) -> const Counter& { return b.batch[i]; },
              static_cast<double>(total(blocks, [](const Block& b) -> const Counter& { return b.batchItems; })));

    head(out, "vantrel_store_commit_duration_seconds", "histogram", "Time one commit of the writer took.");
    histogram(out, "vantrel_store_commit_duration_seconds", "", kSecondsBuckets, blocks,
              [](const Block& b, std::size_t i) -> const Counter& { return b.commitSeconds[i]; },
              static_cast<double>(total(blocks, [](const Block& b) -> const Counter& { return b.commitMicros; })) / 1e6);

    head(out, "vantrel_connections_open", "gauge", "Client connections open on the service's port.");
    out += "vantrel_connections_open " + std::to_string(connectionsOpen) + "\n";

    head(out, "vantrel_connections_refused_total", "counter",
         "Connections closed on arrival: the service's or one address's connection limit was reached.");
    out += "vantrel_connections_refused_total " + std::to_string(connectionsRefused) + "\n";

    renderPasswordChecks(out, blocks);

    head(out, "vantrel_store_errors_total", "counter", "Transactions the store failed to commit.");
    out += "vantrel_store_errors_total " +
           std::to_string(total(blocks, [](const Block& b) -> const Counter& { return b.storeErrors; })) + "\n";

    head(out, "vantrel_build_info", "gauge", "Always 1; the version is a label.");
    out += "vantrel_build_info{version=\"" VANTREL_VERSION "\"} 1\n";
    return out;
}

}  // namespace dataservice
