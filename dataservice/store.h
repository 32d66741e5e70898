#pragma once
// The service's database: allowed versions, profiles (subscriber accounts and evaluation
// identities), their inventory items in arrival order, and the request journal. An SQLite file
// by default; a PostgreSQL server that several service processes share when --db is a
// postgresql:// address.
//
// One connection, guarded by one lock. Writes go through one writer thread that commits the
// transactions waiting together, so the journal's order is the order of commits and a burst
// of uploads costs one commit, not one each. Every statement is prepared once and bound; no
// value is ever pasted into SQL text.
#include <condition_variable>
#include <exception>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "dataservice/database.h"
#include "dataservice/journal.h"
#include "dataservice/passwords.h"

namespace dataservice {

// Seconds since the epoch; the store takes its clock as an option so tests can move it.
using UnixClock = std::int64_t (*)();
std::int64_t systemUnixTime();

struct StoreOptions {
    // PBKDF2 iterations for new accounts (stored with each hash, so it can change later).
    int passwordIterations = kDefaultPasswordIterations;
    // An evaluation profile with no upload for this long is gone.
    std::int64_t evaluationLifetimeSeconds = 30 * 24 * 3600;
    // The journal keeps entries this young, and at most this many of them.
    std::int64_t journalMaxAgeSeconds = 30 * 24 * 3600;
    std::int64_t journalMaxEntries = 100000;
    UnixClock clock = &systemUnixTime;
};

// A signed-in browser: which profile, and the token its forms must carry.
struct Session {
    std::int64_t profileId = 0;
    std::string csrfToken;
    std::int64_t expires = 0;  // unix seconds
};

// Failed sign-ins are counted per account name and per client address, in fixed windows.
struct SignInLimits {
    int perAccount = 5;
    int perAddress = 20;
    std::int64_t windowSeconds = 15 * 60;
};

struct Version {
    std::int64_t major = 0, minor = 0, rev = 0;
    friend bool operator==(const Version&, const Version&) = default;
};

enum class ProfileKind { Subscriber, Evaluation };

struct Profile {
    std::int64_t id = 0;
    ProfileKind kind = ProfileKind::Subscriber;
    std::string name;        // the user name, or the evaluation identifier
    std::string created;     // "YYYY-MM-DDTHH:MM:SS", local time
    std::string lastUpdate;  // set by a completed run
    std::optional<std::string> runStarted;    // the last profile reset
    std::optional<std::string> runCompleted;  // finalize after that reset
};

struct Credentials {
    std::int64_t profileId = 0;
    std::string passwordHash;
    friend bool operator==(const Credentials&, const Credentials&) = default;
};

struct Item {
    std::int64_t seq = 0;  // arrival order across the whole database
    std::string category;
    std::string text;
    std::optional<std::string> configDate;  // the BIOS page's configuration date, as sent
};

class Store {
public:
    // Opens the database (an SQLite file's path, or a postgresql:// connection URI), creating
    // its schema (and version 1.1.11 allowed) when new and bringing an older one up to date.
    explicit Store(const std::string& target, StoreOptions options = {});
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const StoreOptions& options() const { return options_; }

    // What became of a submitted transaction: no error once it is committed.
    using Done = std::function<void(std::exception_ptr error)>;

    // Queues `work` for the store's writer thread, which runs the transactions waiting at the
    // same time in one commit (each inside a savepoint of its own when one of them fails, so
    // that it rolls back only itself), then calls `done` on that thread. `done` is never
    // called before the commit has ended, so nothing is acknowledged that is not stored. A
    // transaction that conflicted with another process's (PostgreSQL) runs again, so `work`
    // must not act outside the store. Returns at once.
    void submit(std::function<void()> work, Done done);

    // Runs `work` in one write transaction through the writer and waits for its commit: committed
    // when it returns, rolled back when it throws. Called on the writer's thread (by a submitted
    // job), it joins the transaction under way.
    template <class F>
    auto transaction(F&& work) -> decltype(work()) {
        using Result = decltype(work());
        if (std::this_thread::get_id() == writerId_) return joined(work);
        if constexpr (std::is_void_v<Result>) {
            runAndWait([&] { work(); });
        } else {
            std::optional<Result> result;
            runAndWait([&] { result.emplace(work()); });
            return std::move(*result);
        }
    }

    db::Engine engine() const { return db_->engine(); }

    void allowVersion(const Version& v);
    bool disallowVersion(const Version& v);  // false when it was not allowed
    bool isVersionAllowed(const Version& v);
    std::vector<Version> allowedVersions();

    bool addAccount(const std::string& name, std::string_view password);  // false when it exists
    bool removeAccount(const std::string& name);  // removes its items too; false when unknown
    std::optional<Credentials> credentials(const std::string& name);
    std::optional<Profile> subscriber(const std::string& name);
    std::vector<std::string> accountNames();

    bool registerEvaluation(const std::string& evalId);  // false when it was already registered
    std::optional<Profile> evaluation(const std::string& evalId);

    // The subscriber of that name, else the evaluation profile of that identifier.
    std::optional<Profile> profileNamed(const std::string& name);

    void resetInventory(std::int64_t profileId);  // deletes its items, starts a new run
    std::int64_t addItem(std::int64_t profileId, const std::string& category, const std::string& text,
                         const std::optional<std::string>& configDate = std::nullopt);
    void finalizeRun(std::int64_t profileId);  // run complete, last-update date now
    std::vector<Item> items(std::int64_t profileId);
    // The items of profileNamed(name); none when there is no such profile.
    std::vector<Item> itemsOf(const std::string& name);

    // Masks passwords before anything is written. Returns the entry as kept.
    JournalEntry appendJournal(const std::string& path, const std::string& page, const Params& params,
                               int status);
    std::vector<JournalEntry> journal();

    // The clock the store keeps its times by.
    std::int64_t now() const { return options_.clock(); }

    // Marks an evaluation profile as used now, which keeps it from expiring.
    void touchEvaluation(std::int64_t profileId);
    // Deletes expired evaluation profiles (with their items and sessions), ended sessions,
    // stale sign-in counters and journal entries outside the window. Returns profiles removed.
    int purgeExpired();

    // Sign-in failures: whether another attempt may be checked at all, and counting one.
    bool signInAllowed(const std::string& account, const std::string& address, const SignInLimits& limits);
    void recordSignInFailure(const std::string& account, const std::string& address, const SignInLimits& limits);
    void clearSignInFailures(const std::string& account);

    // Sessions are kept by a hash of their token, so the database never holds a usable one.
    void createSession(const std::string& tokenHash, std::int64_t profileId, const std::string& csrfToken,
                       std::int64_t lifetimeSeconds);
    std::optional<Session> session(const std::string& tokenHash);  // none once expired
    void endSession(const std::string& tokenHash);
    std::optional<Profile> profileById(std::int64_t id);

private:
    using Statement = db::Statement;
    // A transaction waiting for the writer, and how it ended.
    struct Pending {
        std::function<void()> job;
        Done done;
        std::exception_ptr error;
    };
    // Inside the writer's transaction: the work joins it.
    template <class F>
    auto joined(F& work) -> decltype(work()) {
        std::lock_guard lock(mutex_);
        begin();
        try {
            if constexpr (std::is_void_v<decltype(work())>) {
                work();
                commit();
            } else {
                auto result = work();
                commit();
                return result;
            }
        } catch (...) {
            rollback();
            throw;
        }
    }
    void runAndWait(std::function<void()> job);
    void writerLoop();
    void commitBatch(std::vector<Pending>& batch);
    bool runBatch(std::vector<Pending>& batch, bool isolated);
    Statement& prepare(const char* sql);
    void execute(const char* sql);
    void createSchema();
    void migrate(std::int64_t from);
    void trimJournal();
    void begin();
    void commit();
    void rollback();
    std::optional<Profile> findProfile(ProfileKind kind, const std::string& name);

    StoreOptions options_;
    std::unique_ptr<db::Connection> db_;
    std::recursive_mutex mutex_;
    int depth_ = 0;
    std::unordered_map<const char*, std::unique_ptr<Statement>> statements_;
    std::int64_t appendsSinceTrim_ = 0;

    // Group commit: transactions wait in the queue for the one writer thread.
    std::mutex queueMutex_;
    std::condition_variable queueReady_;
    std::vector<Pending> queue_;
    bool closing_ = false;
    std::thread writer_;
    std::thread::id writerId_;
};

}  // namespace dataservice
