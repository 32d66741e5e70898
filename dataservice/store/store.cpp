#include "dataservice/store/store.h"

#include <ctime>

namespace dataservice {
namespace {

StoreOptions checked(StoreOptions options) {
    if (options.passwordIterations < 1) throw StoreError("the password iteration count must be positive");
    if (options.keepCollections < 1) throw StoreError("a profile keeps at least one collection");
    return options;
}

// Brings a database of an older schema up to this one, inside the opening transaction.
void migrate(Sql& sql, std::int64_t from, std::int64_t now) {
    const db::Engine engine = sql.connection().engine();
    for (std::int64_t version = from; version < db::kSchemaVersion; ++version) {
        sql.execute(db::migrationFrom(engine, version));
        if (version == 1) {
            // What exists already counts as used now, so nothing expires the moment it is opened.
            auto profiles = sql.query("UPDATE profiles SET last_activity = ?1");
            profiles->bind(1, now).run();
        }
    }
    sql.connection().setSchemaVersion(db::kSchemaVersion);
}

void createOrMigrate(Sql& sql, std::int64_t now) {
    db::Connection& db = sql.connection();
    const std::int64_t found = db.schemaVersion();
    if (found == 0) {
        sql.execute(db::schema(db.engine()));
        db.setSchemaVersion(db::kSchemaVersion);
        Versions::allowIn(sql, Version{1, 1, 11});
    } else if (found < db::kSchemaVersion) {
        migrate(sql, found, now);
    } else if (found != db::kSchemaVersion) {
        throw StoreError("the database has schema version " + std::to_string(found) + ", this program knows " +
                         std::to_string(db::kSchemaVersion));
    }
}

}  // namespace

std::int64_t systemUnixTime() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string localTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

Store::Store(const std::string& target, StoreOptions options)
    : options_(checked(options)), access_(target, [this](Sql& sql) { createOrMigrate(sql, options_.clock()); }, options_.maxQueued) {}

namespace {
// A bite's size: a few milliseconds of deleting, so an upload queued behind it hardly waits.
// Evaluation profiles take their items with them, hence the smaller count.
constexpr int kProfilesPerBite = 50;
constexpr int kRowsPerBite = 1000;
// The sweep's lock, shared by every process on one database.
constexpr std::int64_t kSweepLock = 7235003;
}  // namespace

Store::Swept Store::purgeSome() {
    return transaction([&] {
        Swept s;
        s.evaluations = profiles_.purgeExpiredEvaluations(kProfilesPerBite);
        const int sessions = sessions_.purgeEnded(kRowsPerBite);
        const int counters = signIns_.purgeStale(kRowsPerBite);
        const int journal = journal_.trim(kRowsPerBite);
        s.rows = sessions + counters + journal;
        // The journal's bite is a range of keys, which gaps may leave short: it is done when a
        // bite finds nothing.
        s.more = s.evaluations == kProfilesPerBite || sessions == kRowsPerBite || counters == kRowsPerBite || journal > 0;
        return s;
    });
}

// A lock of the writer's session, held across the bites; a connection lost meanwhile loses it,
// which only lets another process sweep beside this one.
bool Store::takeSweepLock() {
    return access_.write([](Sql& sql) { return sql.connection().tryLockAcrossProcesses(kSweepLock); });
}

void Store::releaseSweepLock() {
    access_.write([](Sql& sql) { sql.connection().unlockAcrossProcesses(); });
}

std::optional<int> Store::purgeExpired(const std::function<bool()>& stop) {
    if (!takeSweepLock()) return std::nullopt;
    int removed = 0;
    try {
        for (Swept s{0, 0, true}; s.more && !(stop && stop());) {
            s = purgeSome();
            removed += s.evaluations;
        }
    } catch (...) {
        try {
            releaseSweepLock();
        } catch (...) {
        }
        throw;
    }
    releaseSweepLock();
    return removed;
}

void Store::purgeInBackground() { sweepInBackground(true); }

// One bite a job, so that what was queued meanwhile commits between them; the first takes the
// lock, the last lets it go.
void Store::sweepInBackground(bool first) {
    auto more = std::make_shared<bool>(false);
    submit(
        [this, first, more] {
            *more = false;
            if (first && !takeSweepLock()) return;
            *more = purgeSome().more;
            if (!*more) releaseSweepLock();
        },
        [this, more](std::exception_ptr error) {
            if (error) {
                submit([this] { releaseSweepLock(); }, [](std::exception_ptr) {});
                return;
            }
            if (*more) sweepInBackground(false);
        });
}

void Store::ping() {
    access_.read([](Sql& sql) {
        auto q = sql.query("SELECT 1");
        if (!q->step()) throw StoreError("the store did not answer");
    });
}

}  // namespace dataservice
