#pragma once
// The SQL engines the store runs on: SQLite (one file, the default) and PostgreSQL (a server that
// several service processes share). The store writes its SQL once, with ?1-style placeholders;
// what differs between the engines (placeholders, transactions, the schema's version mark,
// column types) is decided here and in the schema's per-engine text, nowhere else.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace dataservice {

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // In a pipelined batch: the job that sent the failing statement (see Connection::setSender).
    int sentBy = -1;
};

// The store has more waiting than it takes on: nothing was done; try again shortly.
class StoreBusy : public StoreError {
public:
    using StoreError::StoreError;
};

namespace db {

enum class Engine { SQLite, PostgreSQL };

// A prepared statement, reused: bind, step through the rows (or insert), reset.
class Statement {
public:
    virtual ~Statement() = default;
    virtual Statement& bind(int i, std::string_view text) = 0;
    virtual Statement& bind(int i, std::int64_t value) = 0;
    virtual Statement& bindNull(int i) = 0;
    Statement& bind(int i, const std::optional<std::string>& text) {
        return text ? bind(i, std::string_view(*text)) : bindNull(i);
    }
    // True when a row is ready, false when the statement has finished.
    virtual bool step() = 0;
    void run() {
        while (step()) {}
    }
    virtual std::string text(int col) const = 0;
    virtual bool isNull(int col) const = 0;
    std::optional<std::string> optionalText(int col) const {
        if (isNull(col)) return std::nullopt;
        return text(col);
    }
    // An integer column; a value of any other type fails (StoreError), never reads as a number.
    virtual std::int64_t integer(int col) const = 0;
    // A statement from prepareInsert: inserts its one row and answers the row's new key.
    virtual std::int64_t insert() = 0;
    // Runs the statement when nobody waits for its rows: in a pipelined transaction (PostgreSQL)
    // it goes with the next round trip, and a failure surfaces then (at the latest at commit);
    // elsewhere it runs now. `onKey`, for a statement from prepareInsert, gets the new row's key
    // once it is known, always before the commit returns. The bindings are copied: the statement
    // may be bound again at once.
    using KeyHandler = std::function<void(std::int64_t key)>;
    virtual void send(KeyHandler onKey = {}) {
        if (onKey)
            onKey(insert());
        else
            run();
    }
    // As send(), for a statement whose count of touched rows matters: `onCount` gets it, always
    // before the commit returns.
    using CountHandler = std::function<void(std::int64_t changes)>;
    virtual void sendCounted(CountHandler onCount) {
        run();
        onCount(changes());
    }
    // Rows the finished statement inserted, changed or deleted.
    virtual std::int64_t changes() const = 0;
    virtual void reset() = 0;
};

class Connection {
public:
    virtual ~Connection() = default;
    virtual Engine engine() const = 0;
    virtual std::unique_ptr<Statement> prepare(const std::string& sql) = 0;
    // "INSERT ... VALUES (...)" of one row into a table whose key is `keyColumn`, made so that
    // Statement::insert() answers the key the row was given.
    virtual std::unique_ptr<Statement> prepareInsert(const std::string& sql, const std::string& keyColumn) = 0;
    // Runs statements without parameters or results (DDL, settings), several at once.
    virtual void execute(const std::string& sql) = 0;
    // A write transaction, holding the write lock from its start.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;
    // A write transaction whose statements may be pipelined (Statement::send): one round trip
    // for a batch, not one per statement. Ended by commit() or rollback() as any other.
    virtual void beginBatch() { begin(); }
    // Whose statements are sent from now on: a failure of one of them carries this number.
    virtual void setSender(int) {}
    // Inside a transaction: a savepoint, then either kept or undone (and ended) back to it.
    virtual void savepoint() = 0;
    virtual void releaseSavepoint() = 0;
    virtual void rollbackToSavepoint() = 0;
    // The schema's version: 0 for a database without our tables. Inside a transaction begun
    // by beginSchemaChange, which keeps a second process from creating the same tables.
    virtual void beginSchemaChange() = 0;
    virtual std::int64_t schemaVersion() = 0;
    virtual void setSchemaVersion(std::int64_t version) = 0;
    // A lock every process on the database agrees on, held by this session across transactions
    // until let go (several processes share a PostgreSQL database; an SQLite file has one
    // writer at a time, so there it is always had). Taken twice, it is let go at once.
    virtual bool tryLockAcrossProcesses(std::int64_t) { return true; }
    virtual void unlockAcrossProcesses() {}
    // True when the failed transaction may simply be run again (a deadlock or a serialization
    // conflict between processes).
    virtual bool retryable(const StoreError& error) const = 0;
};

// "postgresql://..." or "postgres://..." (a libpq connection URI) opens PostgreSQL; anything
// else is the path of an SQLite file.
bool isPostgresTarget(std::string_view target);
std::unique_ptr<Connection> open(const std::string& target);
// A second connection for reads that must not wait for the writer's commits; none where the
// target cannot be shared (an SQLite database in memory).
std::unique_ptr<Connection> openForReading(const std::string& target);
std::unique_ptr<Connection> openSQLite(const std::string& path);
std::unique_ptr<Connection> openPostgres(const std::string& uri);

// Copies the SQLite database at `source` into the file `dest` (an empty file or none) as one
// moment of it, while writers go on; checked with integrity_check. Throws on failure.
void copySQLite(const std::string& source, const std::string& dest);

// The schema's version today, and its whole text on each engine for a new database.
inline constexpr std::int64_t kSchemaVersion = 4;
std::string_view schema(Engine engine);
// What brings a database of version `from` to the next version on `engine`.
std::string_view migrationFrom(Engine engine, std::int64_t from);
// The oldest schema a database of the engine was ever made with, and its version: where a
// migration test starts.
std::pair<std::int64_t, std::string_view> oldestSchema(Engine engine);

// "?N" placeholders as PostgreSQL writes them ("$N"), outside quoted text; and how many.
std::string postgresPlaceholders(std::string_view sql, int* count = nullptr);

}  // namespace db
}  // namespace dataservice
