#pragma once
// The workloads: the timed upload slices that the targets take in turns, and the collectors'
// whole runs with their check of what the service stored.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/load/generator.h"
#include "bench/load/options.h"

namespace load {

struct Account {
    std::string name;
    std::string password;
};

// The simulated subscribers. Their names are new to a shared database (--db-url) too.
std::vector<Account> makeAccounts(int count);

// Adds the accounts with the service's own command, two at a time (one per core) once the
// first has made the database: two processes that both find no database may clash while it
// is switched to write-ahead logging, and one then fails with "database is locked".
void addAccounts(const Options& o, const std::string& db, const std::vector<Account>& accounts);

std::string urlEncode(const std::string& text);

// A reply of 503 or 429 with Retry-After: the advised seconds, capped at `cap`, and up to a
// quarter more by `jitter` (0 to 1), so the refused do not all come back at once; nothing for
// any other reply.
std::optional<double> busyWait(const Reply& r, double cap, double jitter);
inline constexpr double kBusyCap = 10;
// An even jitter for connection `c` of `n`, from 0 to 1.
inline double spread(int c, int n) { return n > 1 ? static_cast<double>(c) / (n - 1) : 0; }
std::string uploadTarget(const Account& a, const std::string& item);
// The account check's, the reset's and the closing request's targets of a collector's run.
std::string accountCheckTarget(const Account& a);
std::string resetTarget(const Account& a);
std::string finalizeTarget(const Account& a);

// One target's upload workload: every connection uploads back to back, each item a new text,
// in slices that take turns with the other targets' slices, so that a change in the machine's
// pace (another tenant, the disk catching up) falls on every target alike.
class UploadLoad {
public:
    // `target`: service, bare or nginx; `name`: how its figures are headed.
    // `ports`: one per process of the target; the connections are spread over them.
    UploadLoad(std::string target, std::string name, std::vector<int> ports, const Options& o,
               const std::vector<Account>& accounts)
        : target_(std::move(target)), name_(std::move(name)), ports_(std::move(ports)), o_(o), accounts_(accounts),
          sent_(static_cast<std::size_t>(o.connections), 0) {}

    // A first request per connection, not counted, lets the service check each password once
    // (it remembers a checked password for minutes, as during a real run); it is a reset, as a
    // run's is, so that the uploads go into a collection as every collector's do. Returns the failed.
    // The service refuses checks it could not start within about a second: a connection so
    // refused comes back when told, as a collector does.
    std::uint64_t warmUp() {
        std::vector<bool> warm(sent_.size(), false);
        std::uint64_t failed = 0;
        const NextTarget once = [&](int c) -> std::optional<std::string> {
            if (warm[static_cast<std::size_t>(c)]) return std::nullopt;
            return resetTarget(accounts_[static_cast<std::size_t>(c) % accounts_.size()]);
        };
        // The first request of each account costs a full key derivation: give it the collector's time.
        Generator generator(ports_, o_.connections, toDuration(o_.runTimeout));
        generator.setOnReply([&](int c, const Reply& r) {
            if (const auto wait = busyWait(r, kBusyCap, spread(c, o_.connections))) return toDuration(*wait);
            warm[static_cast<std::size_t>(c)] = true;
            failed += r.status == 200 ? 0 : 1;
            return Clock::duration::zero();
        });
        generator.run(once, [](int, bool) {}, 120s);
        return failed;
    }

    // Runs one slice; returns its rate.
    double slice(double length) {
        const NextTarget always = [&](int c) -> std::optional<std::string> { return nextUpload(c); };
        LoadResult r = Generator(ports_, o_.connections, toDuration(o_.timeout)).run(always, [](int, bool) {}, toDuration(length));
        const double rate = r.rate();
        total_.seconds += r.seconds;
        total_.ok += r.ok;
        total_.failed += r.failed;
        total_.timeouts += r.timeouts;
        total_.connections = r.connections;
        total_.silentConnections = std::max(total_.silentConnections, r.silentConnections);
        total_.latencyUs.insert(total_.latencyUs.end(), r.latencyUs.begin(), r.latencyUs.end());
        if (total_.firstBody.empty()) total_.firstBody = r.firstBody;
        return rate;
    }

    const std::string& target() const { return target_; }
    const std::string& name() const { return name_; }
    LoadResult& total() { return total_; }

private:
    std::string nextUpload(int c) {
        const Account& a = accounts_[static_cast<std::size_t>(c) % accounts_.size()];
        return uploadTarget(a, "Load program " + std::to_string(c) + "." + std::to_string(++sent_[static_cast<std::size_t>(c)]));
    }
    std::string target_;
    std::string name_;
    std::vector<int> ports_;
    const Options& o_;
    const std::vector<Account>& accounts_;
    std::vector<std::uint64_t> sent_;
    LoadResult total_;
};

// Each collector makes a subscriber's whole run on its own account and connection: the
// profile reset, its items in order, then the closing request. A failed request is skipped,
// as the collector skips it.
LoadResult collectionRuns(int port, const Options& o, const std::vector<Account>& accounts);

struct Check {
    std::uint64_t lost = 0, duplicated = 0, reordered = 0, foreign = 0;
    int unreadable = 0;  // profiles list-items could not list
};

// Reads every profile back with `list-items` and compares it with the items its collector sent.
// The whole check is bounded by the run limit; profiles it has no time left for count as unread.
Check checkProfiles(const Options& o, const std::string& db, const std::vector<Account>& accounts);

}  // namespace load
