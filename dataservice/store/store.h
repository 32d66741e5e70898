#pragma once
// The service's database: allowed versions, profiles (subscriber accounts and evaluation
// identities), their inventory items in arrival order, the request journal and the sign-in
// state. An SQLite file by default; a PostgreSQL server that several service processes share
// when the target is a postgresql:// address. Each kind of data has its own class below; they
// share one Access, so every write goes through the one writer.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "dataservice/store/access.h"
#include "dataservice/store/tables/inventory.h"
#include "dataservice/store/tables/journal.h"
#include "dataservice/store/tables/profiles.h"
#include "dataservice/store/tables/signins.h"
#include "dataservice/store/tables/versions.h"
#include "dataservice/store/types.h"

namespace dataservice {

class Store {
public:
    // Opens the database (an SQLite file's path, or a postgresql:// connection URI), creating
    // its schema (and version 1.1.11 allowed) when new and bringing an older one up to date.
    explicit Store(const std::string& target, StoreOptions options = {});
    // The writer's queue runs out before the tables its jobs use are gone.
    ~Store() { access_.close(); }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const StoreOptions& options() const { return options_; }
    // The clock the store keeps its times by.
    std::int64_t now() const { return options_.clock(); }
    db::Engine engine() const { return access_.engine(); }

    using Done = Access::Done;
    // See Access::submit.
    void submit(std::function<void()> work, Done done) { access_.submit(std::move(work), std::move(done)); }
    // Runs `work()` in one write transaction and waits for its commit; on the writer's thread it
    // joins the transaction under way.
    template <class F>
    auto transaction(F&& work) -> decltype(work()) {
        return access_.write([&](Sql&) { return work(); });
    }

    Versions& versions() { return versions_; }
    Profiles& profiles() { return profiles_; }
    Inventory& inventory() { return inventory_; }
    Journal& journal() { return journal_; }
    Sessions& sessions() { return sessions_; }
    SignInCounters& signIns() { return signIns_; }

    // Asks the readers' connection a trivial question; throws StoreError when it is not answered.
    void ping();

    // What one bite of the sweep removed, and whether more is waiting.
    struct Swept {
        int evaluations = 0;
        int rows = 0;  // sessions, sign-in counters and journal entries
        bool more = false;
    };
    // Deletes a bounded number of expired evaluation profiles (with their items and sessions),
    // ended sessions, stale sign-in counters and journal entries outside the window, in one
    // transaction (the one under way, on the writer's thread).
    Swept purgeSome();
    // Bites until nothing is left or `stop()` says so, each bite its own transaction, so that
    // uploads queued meanwhile are committed between them. Every sweep (the timer's, the
    // requests', the command's) holds one lock that every process on the database shares: when
    // another holds it, nothing is done and the answer is nothing. Returns the profiles removed.
    std::optional<int> purgeExpired(const std::function<bool()>& stop = {});
    // The same sweep queued on the writer, one bite after another; returns at once.
    void purgeInBackground();

private:
    bool takeSweepLock();
    void releaseSweepLock();
    void sweepInBackground(bool first);

    StoreOptions options_;
    Access access_;
    Versions versions_{access_};
    Profiles profiles_{access_, options_};
    Inventory inventory_{access_, options_};
    Journal journal_{access_, options_};
    Sessions sessions_{access_, options_};
    SignInCounters signIns_{access_, options_};
};

}  // namespace dataservice
