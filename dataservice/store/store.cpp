#include "dataservice/store/store.h"

#include <ctime>

namespace dataservice {
namespace {

constexpr std::int64_t kSchemaVersion = 3;

StoreOptions checked(StoreOptions options) {
    if (options.passwordIterations < 1) throw StoreError("the password iteration count must be positive");
    if (options.keepCollections < 1) throw StoreError("a profile keeps at least one collection");
    return options;
}

// Brings a database of an older schema up to this one, inside the opening transaction. Only
// SQLite databases were ever made at version 1.
void migrate(Sql& sql, std::int64_t from, std::int64_t now) {
    if (from < 2) {
        sql.execute(db::sqliteMigrationV2());
        // What exists already counts as used now, so nothing expires the moment it is opened.
        auto profiles = sql.query("UPDATE profiles SET last_activity = ?1");
        profiles->bind(1, now).run();
    }
    if (from < 3)
        sql.execute(sql.connection().engine() == db::Engine::PostgreSQL ? db::postgresMigrationV3()
                                                                          : db::sqliteMigrationV3());
    sql.connection().setSchemaVersion(kSchemaVersion);
}

void createOrMigrate(Sql& sql, std::int64_t now) {
    db::Connection& db = sql.connection();
    const std::int64_t found = db.schemaVersion();
    if (found == 0) {
        if (db.engine() == db::Engine::PostgreSQL) {
            sql.execute(db::postgresSchemaV2());
            migrate(sql, 2, now);
        } else {
            sql.execute(db::sqliteSchemaV1());
            migrate(sql, 1, now);
        }
        Versions::allowIn(sql, Version{1, 1, 11});
    } else if (found < kSchemaVersion) {
        migrate(sql, found, now);
    } else if (found != kSchemaVersion) {
        throw StoreError("the database has schema version " + std::to_string(found) + ", this program knows " +
                         std::to_string(kSchemaVersion));
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
    : options_(checked(options)), access_(target, [this](Sql& sql) { createOrMigrate(sql, options_.clock()); }) {}

int Store::purgeExpired() {
    return transaction([&] {
        const int removed = profiles_.purgeExpiredEvaluations();
        sessions_.purgeEnded();
        signIns_.purgeStale();
        journal_.trim();
        return removed;
    });
}

std::optional<int> Store::purgeExpiredUnlessBusy() {
    return access_.write([&](Sql& sql) -> std::optional<int> {
        if (engine() == db::Engine::PostgreSQL) {
            // Held to the commit; a process that finds it taken leaves the sweep to the holder.
            auto lock = sql.query("SELECT CASE WHEN pg_try_advisory_xact_lock(7235003) THEN 1 ELSE 0 END");
            if (!lock->step() || lock->integer(0) == 0) return std::nullopt;
        }
        return purgeExpired();
    });
}

void Store::ping() {
    access_.read([](Sql& sql) {
        auto q = sql.query("SELECT 1");
        if (!q->step()) throw StoreError("the store did not answer");
    });
}

}  // namespace dataservice
