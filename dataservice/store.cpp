#include "dataservice/store.h"

#include <sqlite3.h>

#include <ctime>

namespace dataservice {

class Store::Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
            throw StoreError(std::string("cannot prepare a statement: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, std::string_view text) {
        // SQLITE_TRANSIENT: the value may be a temporary; the length keeps embedded NULs.
        check(sqlite3_bind_text64(stmt_, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
        return *this;
    }
    Statement& bind(int i, std::int64_t value) {
        check(sqlite3_bind_int64(stmt_, i, value));
        return *this;
    }
    Statement& bind(int i, const std::optional<std::string>& text) {
        if (text) return bind(i, std::string_view(*text));
        check(sqlite3_bind_null(stmt_, i));
        return *this;
    }
    // True when a row is ready, false when the statement has finished.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw StoreError(std::string("database statement failed: ") + sqlite3_errmsg(db_));
    }
    void run() {
        while (step()) {}
    }
    std::string text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
    }
    std::optional<std::string> optionalText(int col) const {
        if (sqlite3_column_type(stmt_, col) == SQLITE_NULL) return std::nullopt;
        return text(col);
    }
    std::int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

private:
    void check(int rc) {
        if (rc != SQLITE_OK) throw StoreError(std::string("cannot bind a value: ") + sqlite3_errmsg(db_));
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

namespace {

// Resets a cached statement when its use ends, so that no read stays open between requests.
template <class S>
struct ResetOnExit {
    S& statement;
    ~ResetOnExit() { statement.reset(); }
};
template <class S>
ResetOnExit<S> resetOnExit(S& statement) {
    return ResetOnExit<S>{statement};
}

const char* kindText(ProfileKind kind) { return kind == ProfileKind::Subscriber ? "subscriber" : "evaluation"; }

constexpr int kSchemaVersion = 2;

const char* const kSchema[] = {
    "CREATE TABLE allowed_versions ("
    " major INTEGER NOT NULL, minor INTEGER NOT NULL, rev INTEGER NOT NULL,"
    " PRIMARY KEY (major, minor, rev))",
    // Subscriber accounts and evaluation identities share the table but not their names.
    "CREATE TABLE profiles ("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL CHECK (kind IN ('subscriber', 'evaluation')),"
    " name TEXT NOT NULL,"
    " password_hash TEXT,"
    " created TEXT NOT NULL,"
    " last_update TEXT NOT NULL,"
    " run_started TEXT,"
    " run_completed TEXT,"
    " UNIQUE (kind, name))",
    "CREATE TABLE items ("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " profile_id INTEGER NOT NULL REFERENCES profiles (id) ON DELETE CASCADE,"
    " category TEXT NOT NULL,"
    " text TEXT NOT NULL,"
    " config_date TEXT)",
    "CREATE INDEX items_by_profile ON items (profile_id, seq)",
    "CREATE TABLE journal ("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " received TEXT NOT NULL,"
    " path TEXT NOT NULL,"
    " page TEXT NOT NULL,"
    " params TEXT NOT NULL,"
    " status INTEGER NOT NULL)",
};

// Version 2: evaluation profiles expire, sign-in sessions and failure counters live here (so
// that several service processes on one database agree), and the journal is trimmed by age.
const char* const kSchemaV2[] = {
    "ALTER TABLE profiles ADD COLUMN last_activity INTEGER NOT NULL DEFAULT 0",
    "CREATE INDEX profiles_by_activity ON profiles (kind, last_activity)",
    "CREATE TABLE sessions ("
    " token_hash TEXT PRIMARY KEY,"
    " profile_id INTEGER NOT NULL REFERENCES profiles (id) ON DELETE CASCADE,"
    " csrf_token TEXT NOT NULL,"
    " expires INTEGER NOT NULL)",
    "CREATE INDEX sessions_by_expiry ON sessions (expires)",
    "CREATE TABLE signin_failures ("
    " scope TEXT NOT NULL CHECK (scope IN ('account', 'address')),"
    " key TEXT NOT NULL,"
    " window_start INTEGER NOT NULL,"
    " failures INTEGER NOT NULL,"
    " PRIMARY KEY (scope, key))",
    "ALTER TABLE journal ADD COLUMN received_at INTEGER NOT NULL DEFAULT 0",
    "CREATE INDEX journal_by_time ON journal (received_at)",
};

}  // namespace

std::int64_t systemUnixTime() { return static_cast<std::int64_t>(std::time(nullptr)); }

Store::Store(const std::string& path, StoreOptions options) : options_(options) {
    if (options_.passwordIterations < 1) throw StoreError("the password iteration count must be positive");
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw StoreError("cannot open the database " + path + ": " + why);
    }
    try {
        sqlite3_busy_timeout(db_, 5000);  // the command line may write while the server runs
        sqlite3_extended_result_codes(db_, 1);
        createSchema();
    } catch (...) {
        statements_.clear();
        sqlite3_close(db_);
        throw;
    }
}

Store::~Store() {
    statements_.clear();
    sqlite3_close(db_);
}

Store::Statement& Store::prepare(const char* sql) {
    auto& slot = statements_[sql];
    if (!slot) slot = std::make_unique<Statement>(db_, sql);
    slot->reset();
    return *slot;
}

void Store::execute(const char* sql) {
    Statement st(db_, sql);
    st.run();
}

void Store::createSchema() {
    execute("PRAGMA journal_mode = WAL");
    // With WAL, NORMAL loses no committed data when the process dies, only on power loss,
    // and spares an fsync per request.
    execute("PRAGMA synchronous = NORMAL");
    execute("PRAGMA foreign_keys = ON");
    std::lock_guard lock(mutex_);
    begin();
    try {
        Statement version(db_, "PRAGMA user_version");
        version.step();
        const std::int64_t found = version.integer(0);
        version.reset();
        if (found == 0) {
            for (const char* ddl : kSchema) execute(ddl);
            allowVersion(Version{1, 1, 11});
            migrate(1);
        } else if (found < kSchemaVersion) {
            migrate(found);
        } else if (found != kSchemaVersion) {
            throw StoreError("the database has schema version " + std::to_string(found) + ", this program knows " +
                             std::to_string(kSchemaVersion));
        }
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}

// Brings a database of an older schema up to this one, inside the opening transaction.
void Store::migrate(std::int64_t from) {
    if (from < 2) {
        for (const char* ddl : kSchemaV2) execute(ddl);
        // What exists already counts as used now, so nothing expires the moment it is opened.
        auto& profiles = prepare("UPDATE profiles SET last_activity = ?1");
        auto guard = resetOnExit(profiles);
        profiles.bind(1, now()).run();
        execute("UPDATE journal SET received_at = CAST(strftime('%s', received) AS INTEGER)");
    }
    execute("PRAGMA user_version = 2");
}

void Store::begin() {
    if (depth_++ == 0) {
        try {
            // IMMEDIATE: take the write lock now rather than fail half way through.
            prepare("BEGIN IMMEDIATE").run();
        } catch (...) {
            --depth_;
            throw;
        }
    }
}

void Store::commit() {
    if (depth_ == 1) prepare("COMMIT").run();
    --depth_;
}

void Store::rollback() {
    if (--depth_ == 0) {
        try {
            prepare("ROLLBACK").run();
        } catch (const StoreError&) {
            // Already rolled back by SQLite itself (e.g. after a full disk).
        }
    }
}

void Store::allowVersion(const Version& v) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("INSERT OR IGNORE INTO allowed_versions (major, minor, rev) VALUES (?1, ?2, ?3)");
    auto guard = resetOnExit(st);
    st.bind(1, v.major).bind(2, v.minor).bind(3, v.rev).run();
}

bool Store::disallowVersion(const Version& v) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("DELETE FROM allowed_versions WHERE major = ?1 AND minor = ?2 AND rev = ?3");
    auto guard = resetOnExit(st);
    st.bind(1, v.major).bind(2, v.minor).bind(3, v.rev).run();
    return sqlite3_changes(db_) > 0;
}

bool Store::isVersionAllowed(const Version& v) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("SELECT 1 FROM allowed_versions WHERE major = ?1 AND minor = ?2 AND rev = ?3");
    auto guard = resetOnExit(st);
    return st.bind(1, v.major).bind(2, v.minor).bind(3, v.rev).step();
}

std::vector<Version> Store::allowedVersions() {
    std::lock_guard lock(mutex_);
    auto& st = prepare("SELECT major, minor, rev FROM allowed_versions ORDER BY major, minor, rev");
    auto guard = resetOnExit(st);
    std::vector<Version> out;
    while (st.step()) out.push_back(Version{st.integer(0), st.integer(1), st.integer(2)});
    return out;
}

bool Store::addAccount(const std::string& name, std::string_view password) {
    // Derive the key before taking the lock: it is the slow part.
    const std::string hash = hashPassword(password, options_.passwordIterations);
    std::lock_guard lock(mutex_);
    auto& st = prepare(
        "INSERT OR IGNORE INTO profiles (kind, name, password_hash, created, last_update)"
        " VALUES ('subscriber', ?1, ?2, ?3, ?3)");
    auto guard = resetOnExit(st);
    st.bind(1, std::string_view(name)).bind(2, std::string_view(hash)).bind(3, std::string_view(localTimestamp())).run();
    return sqlite3_changes(db_) > 0;
}

bool Store::removeAccount(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("DELETE FROM profiles WHERE kind = 'subscriber' AND name = ?1");
    auto guard = resetOnExit(st);
    st.bind(1, std::string_view(name)).run();
    return sqlite3_changes(db_) > 0;
}

std::optional<Credentials> Store::credentials(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("SELECT id, password_hash FROM profiles WHERE kind = 'subscriber' AND name = ?1");
    auto guard = resetOnExit(st);
    if (!st.bind(1, std::string_view(name)).step()) return std::nullopt;
    return Credentials{st.integer(0), st.text(1)};
}

std::optional<Profile> Store::findProfile(ProfileKind kind, const std::string& name) {
    std::lock_guard lock(mutex_);
    // An evaluation profile past its lifetime is no longer there, purged or not.
    auto& st = prepare(
        "SELECT id, created, last_update, run_started, run_completed FROM profiles WHERE kind = ?1 AND name = ?2"
        " AND (kind = 'subscriber' OR last_activity >= ?3)");
    auto guard = resetOnExit(st);
    if (!st.bind(1, std::string_view(kindText(kind)))
             .bind(2, std::string_view(name))
             .bind(3, now() - options_.evaluationLifetimeSeconds)
             .step())
        return std::nullopt;
    return Profile{st.integer(0), kind, name, st.text(1), st.text(2), st.optionalText(3), st.optionalText(4)};
}

std::optional<Profile> Store::subscriber(const std::string& name) { return findProfile(ProfileKind::Subscriber, name); }

std::optional<Profile> Store::evaluation(const std::string& evalId) { return findProfile(ProfileKind::Evaluation, evalId); }

std::optional<Profile> Store::profileNamed(const std::string& name) {
    if (auto p = subscriber(name)) return p;
    return evaluation(name);
}

std::vector<std::string> Store::accountNames() {
    std::lock_guard lock(mutex_);
    auto& st = prepare("SELECT name FROM profiles WHERE kind = 'subscriber' ORDER BY name");
    auto guard = resetOnExit(st);
    std::vector<std::string> out;
    while (st.step()) out.push_back(st.text(0));
    return out;
}

bool Store::registerEvaluation(const std::string& evalId) {
    std::lock_guard lock(mutex_);
    auto& st = prepare(
        "INSERT INTO profiles (kind, name, created, last_update, last_activity) VALUES ('evaluation', ?1, ?2, ?2, ?3)"
        " ON CONFLICT (kind, name) DO NOTHING");
    auto guard = resetOnExit(st);
    return transaction([&] {
        // An expired identifier that was not purged yet is made anew, not revived with its items.
        auto& old = prepare("DELETE FROM profiles WHERE kind = 'evaluation' AND name = ?1 AND last_activity < ?2");
        auto oldGuard = resetOnExit(old);
        old.bind(1, std::string_view(evalId)).bind(2, now() - options_.evaluationLifetimeSeconds).run();
        st.bind(1, std::string_view(evalId)).bind(2, std::string_view(localTimestamp())).bind(3, now()).run();
        return sqlite3_changes(db_) > 0;
    });
}

void Store::resetInventory(std::int64_t profileId) {
    transaction([&] {
        {
            auto& st = prepare("DELETE FROM items WHERE profile_id = ?1");
            auto guard = resetOnExit(st);
            st.bind(1, profileId).run();
        }
        auto& st = prepare("UPDATE profiles SET run_started = ?2, run_completed = NULL WHERE id = ?1");
        auto guard = resetOnExit(st);
        st.bind(1, profileId).bind(2, std::string_view(localTimestamp())).run();
    });
}

std::int64_t Store::addItem(std::int64_t profileId, const std::string& category, const std::string& text,
                            const std::optional<std::string>& configDate) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("INSERT INTO items (profile_id, category, text, config_date) VALUES (?1, ?2, ?3, ?4)");
    auto guard = resetOnExit(st);
    st.bind(1, profileId).bind(2, std::string_view(category)).bind(3, std::string_view(text)).bind(4, configDate).run();
    return sqlite3_last_insert_rowid(db_);
}

void Store::finalizeRun(std::int64_t profileId) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("UPDATE profiles SET run_completed = ?2, last_update = ?2 WHERE id = ?1");
    auto guard = resetOnExit(st);
    st.bind(1, profileId).bind(2, std::string_view(localTimestamp())).run();
}

std::vector<Item> Store::items(std::int64_t profileId) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("SELECT seq, category, text, config_date FROM items WHERE profile_id = ?1 ORDER BY seq");
    auto guard = resetOnExit(st);
    st.bind(1, profileId);
    std::vector<Item> out;
    while (st.step()) out.push_back(Item{st.integer(0), st.text(1), st.text(2), st.optionalText(3)});
    return out;
}

std::vector<Item> Store::itemsOf(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto profile = profileNamed(name);
    return profile ? items(profile->id) : std::vector<Item>{};
}

JournalEntry Store::appendJournal(const std::string& path, const std::string& page, const Params& params,
                                  int status) {
    JournalEntry entry{0, localTimestamp(), path, page, maskPasswords(params), status};
    std::lock_guard lock(mutex_);
    auto& st = prepare(
        "INSERT INTO journal (received, path, page, params, status, received_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    auto guard = resetOnExit(st);
    st.bind(1, std::string_view(entry.received))
        .bind(2, std::string_view(entry.path))
        .bind(3, std::string_view(entry.page))
        .bind(4, std::string_view(encodeParams(entry.params)))
        .bind(5, static_cast<std::int64_t>(status))
        .bind(6, now())
        .run();
    entry.seq = sqlite3_last_insert_rowid(db_);
    // Trimming now and then keeps the window's cost off most requests; the bound overshoots
    // by at most the interval.
    if (++appendsSinceTrim_ >= 64) trimJournal();
    return entry;
}

void Store::trimJournal() {
    std::lock_guard lock(mutex_);
    appendsSinceTrim_ = 0;
    {
        auto& st = prepare("DELETE FROM journal WHERE received_at < ?1");
        auto guard = resetOnExit(st);
        st.bind(1, now() - options_.journalMaxAgeSeconds).run();
    }
    auto& st = prepare("DELETE FROM journal WHERE seq <= (SELECT MAX(seq) FROM journal) - ?1");
    auto guard = resetOnExit(st);
    st.bind(1, options_.journalMaxEntries).run();
}

void Store::touchEvaluation(std::int64_t profileId) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("UPDATE profiles SET last_activity = ?2 WHERE id = ?1 AND kind = 'evaluation'");
    auto guard = resetOnExit(st);
    st.bind(1, profileId).bind(2, now()).run();
}

int Store::purgeExpired() {
    return transaction([&] {
        int removed = 0;
        {
            auto& st = prepare("DELETE FROM profiles WHERE kind = 'evaluation' AND last_activity < ?1");
            auto guard = resetOnExit(st);
            st.bind(1, now() - options_.evaluationLifetimeSeconds).run();
            removed = sqlite3_changes(db_);
        }
        {
            auto& st = prepare("DELETE FROM sessions WHERE expires <= ?1");
            auto guard = resetOnExit(st);
            st.bind(1, now()).run();
        }
        {
            // Windows are never longer than a day; older counters count nothing.
            auto& st = prepare("DELETE FROM signin_failures WHERE window_start < ?1");
            auto guard = resetOnExit(st);
            st.bind(1, now() - 24 * 3600).run();
        }
        trimJournal();
        return removed;
    });
}

bool Store::signInAllowed(const std::string& account, const std::string& address, const SignInLimits& limits) {
    std::lock_guard lock(mutex_);
    auto& st = prepare(
        "SELECT COALESCE(MAX(CASE WHEN scope = 'account' THEN failures - ?3 END), -1),"
        " COALESCE(MAX(CASE WHEN scope = 'address' THEN failures - ?4 END), -1)"
        " FROM signin_failures WHERE window_start >= ?5"
        " AND ((scope = 'account' AND key = ?1) OR (scope = 'address' AND key = ?2))");
    auto guard = resetOnExit(st);
    st.bind(1, std::string_view(account))
        .bind(2, std::string_view(address))
        .bind(3, static_cast<std::int64_t>(limits.perAccount))
        .bind(4, static_cast<std::int64_t>(limits.perAddress))
        .bind(5, now() - limits.windowSeconds);
    if (!st.step()) return true;
    return st.integer(0) < 0 && st.integer(1) < 0;
}

void Store::recordSignInFailure(const std::string& account, const std::string& address,
                                const SignInLimits& limits) {
    transaction([&] {
        auto& st = prepare(
            "INSERT INTO signin_failures (scope, key, window_start, failures) VALUES (?1, ?2, ?3, 1)"
            " ON CONFLICT (scope, key) DO UPDATE SET"
            " failures = CASE WHEN window_start < ?4 THEN 1 ELSE failures + 1 END,"
            " window_start = CASE WHEN window_start < ?4 THEN ?3 ELSE window_start END");
        auto guard = resetOnExit(st);
        const std::int64_t t = now();
        // An empty name is no account: the evaluation pages count against the address alone.
        if (!account.empty()) {
            st.bind(1, std::string_view("account")).bind(2, std::string_view(account)).bind(3, t)
                .bind(4, t - limits.windowSeconds).run();
            st.reset();
        }
        st.bind(1, std::string_view("address")).bind(2, std::string_view(address)).bind(3, t)
            .bind(4, t - limits.windowSeconds).run();
    });
}

void Store::clearSignInFailures(const std::string& account) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("DELETE FROM signin_failures WHERE scope = 'account' AND key = ?1");
    auto guard = resetOnExit(st);
    st.bind(1, std::string_view(account)).run();
}

void Store::createSession(const std::string& tokenHash, std::int64_t profileId, const std::string& csrfToken,
                          std::int64_t lifetimeSeconds) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("INSERT INTO sessions (token_hash, profile_id, csrf_token, expires) VALUES (?1, ?2, ?3, ?4)");
    auto guard = resetOnExit(st);
    st.bind(1, std::string_view(tokenHash)).bind(2, profileId).bind(3, std::string_view(csrfToken))
        .bind(4, now() + lifetimeSeconds).run();
}

std::optional<Session> Store::session(const std::string& tokenHash) {
    std::lock_guard lock(mutex_);
    auto& st = prepare(
        "SELECT s.profile_id, s.csrf_token, s.expires FROM sessions s JOIN profiles p ON p.id = s.profile_id"
        " WHERE s.token_hash = ?1 AND s.expires > ?2"
        " AND (p.kind = 'subscriber' OR p.last_activity >= ?3)");
    auto guard = resetOnExit(st);
    if (!st.bind(1, std::string_view(tokenHash)).bind(2, now()).bind(3, now() - options_.evaluationLifetimeSeconds)
             .step())
        return std::nullopt;
    return Session{st.integer(0), st.text(1), st.integer(2)};
}

void Store::endSession(const std::string& tokenHash) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("DELETE FROM sessions WHERE token_hash = ?1");
    auto guard = resetOnExit(st);
    st.bind(1, std::string_view(tokenHash)).run();
}

std::optional<Profile> Store::profileById(std::int64_t id) {
    std::lock_guard lock(mutex_);
    auto& st = prepare("SELECT kind, name FROM profiles WHERE id = ?1");
    auto guard = resetOnExit(st);
    if (!st.bind(1, id).step()) return std::nullopt;
    const ProfileKind kind = st.text(0) == "subscriber" ? ProfileKind::Subscriber : ProfileKind::Evaluation;
    const std::string name = st.text(1);
    st.reset();
    return findProfile(kind, name);
}

std::vector<JournalEntry> Store::journal() {
    std::lock_guard lock(mutex_);
    auto& st = prepare("SELECT seq, received, path, page, params, status FROM journal ORDER BY seq");
    auto guard = resetOnExit(st);
    std::vector<JournalEntry> out;
    while (st.step())
        out.push_back(JournalEntry{st.integer(0), st.text(1), st.text(2), st.text(3), decodeParams(st.text(4)),
                                   static_cast<int>(st.integer(5))});
    return out;
}

}  // namespace dataservice
