// The store on SQLite: one file, write-ahead log, one connection.
#include <sqlite3.h>

#include <string_view>

#include "dataservice/db/database.h"

namespace dataservice::db {
namespace {

class SQLiteStatement final : public Statement {
public:
    SQLiteStatement(sqlite3* db, const std::string& sql, bool insertsRow = false) : db_(db), insertsRow_(insertsRow) {
        if (sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt_,
                               nullptr) != SQLITE_OK)
            throw StoreError(std::string("cannot prepare a statement: ") + sqlite3_errmsg(db));
    }
    ~SQLiteStatement() override { sqlite3_finalize(stmt_); }

    Statement& bind(int i, std::string_view text) override {
        // SQLITE_TRANSIENT: the value may be a temporary; the length keeps embedded NULs.
        check(sqlite3_bind_text64(stmt_, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
        return *this;
    }
    Statement& bind(int i, std::int64_t value) override {
        check(sqlite3_bind_int64(stmt_, i, value));
        return *this;
    }
    Statement& bindNull(int i) override {
        check(sqlite3_bind_null(stmt_, i));
        return *this;
    }
    bool step() override {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) {
            changes_ = sqlite3_changes(db_);
            return false;
        }
        throw StoreError(std::string("database statement failed: ") + sqlite3_errmsg(db_));
    }
    // The key of the row just inserted is at hand: a RETURNING clause would make SQLite buffer
    // its rows in a table of their own for every run.
    std::int64_t insert() override {
        if (!insertsRow_) throw StoreError("insert() of a statement not prepared as an insert");
        if (step() || changes_ != 1) throw StoreError("a row was not inserted");
        return sqlite3_last_insert_rowid(db_);
    }
    std::string text(int col) const override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
    }
    bool isNull(int col) const override { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
    std::int64_t integer(int col) const override {
        if (sqlite3_column_type(stmt_, col) != SQLITE_INTEGER)
            throw StoreError("column " + std::to_string(col) + " does not hold an integer");
        return sqlite3_column_int64(stmt_, col);
    }
    std::int64_t changes() const override { return changes_; }
    void reset() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        changes_ = 0;
    }

private:
    void check(int rc) {
        if (rc != SQLITE_OK) throw StoreError(std::string("cannot bind a value: ") + sqlite3_errmsg(db_));
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::int64_t changes_ = 0;
    bool insertsRow_;
};

class SQLiteConnection final : public Connection {
public:
    explicit SQLiteConnection(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw StoreError("cannot open the database " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, 5000);  // the command line may write while the server runs
        sqlite3_extended_result_codes(db_, 1);
        try {
            execute("PRAGMA journal_mode = WAL");
            // FULL: every commit is on disk before any of its uploads is answered, power loss
            // included. Uploads waiting together share the commit, so they share the sync too;
            // the log is then never far ahead of the disk, and checkpoints stay short.
            execute("PRAGMA synchronous = FULL");
            execute("PRAGMA foreign_keys = ON");
            // A checkpoint syncs the file and the log, and the first commit after it syncs
            // the log again, all while every writer waits: at the default of 1000 pages
            // that is every few thousand uploads. Fewer, larger checkpoints cost the same
            // copying and a fraction of the syncs.
            execute("PRAGMA wal_autocheckpoint = 16000");
            begin_ = prepare("BEGIN IMMEDIATE");
            commit_ = prepare("COMMIT");
            rollback_ = prepare("ROLLBACK");
            savepoint_ = prepare("SAVEPOINT request");
            release_ = prepare("RELEASE SAVEPOINT request");
            rollbackTo_ = prepare("ROLLBACK TO SAVEPOINT request");
        } catch (...) {
            closeStatements();
            sqlite3_close(db_);
            throw;
        }
    }
    ~SQLiteConnection() override {
        closeStatements();
        sqlite3_close(db_);
    }

    Engine engine() const override { return Engine::SQLite; }
    std::unique_ptr<Statement> prepare(const std::string& sql) override {
        return std::make_unique<SQLiteStatement>(db_, sql);
    }
    std::unique_ptr<Statement> prepareInsert(const std::string& sql, const std::string&) override {
        return std::make_unique<SQLiteStatement>(db_, sql, true);
    }
    void execute(const std::string& sql) override {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string why = error ? error : sqlite3_errmsg(db_);
            sqlite3_free(error);
            throw StoreError("database statement failed: " + why);
        }
    }
    // IMMEDIATE: take the write lock now rather than fail half way through.
    void begin() override { once(*begin_); }
    void commit() override { once(*commit_); }
    void rollback() noexcept override {
        try {
            once(*rollback_);
        } catch (const StoreError&) {
            // Already rolled back by SQLite itself (e.g. after a full disk).
        }
    }
    void savepoint() override { once(*savepoint_); }
    void releaseSavepoint() override { once(*release_); }
    void rollbackToSavepoint() override {
        once(*rollbackTo_);
        once(*release_);
    }
    void beginSchemaChange() override { begin(); }
    std::int64_t schemaVersion() override {
        SQLiteStatement st(db_, "PRAGMA user_version");
        st.step();
        return st.integer(0);
    }
    void setSchemaVersion(std::int64_t version) override {
        execute("PRAGMA user_version = " + std::to_string(version));
    }
    bool retryable(const StoreError&) const override { return false; }

private:
    void closeStatements() {
        for (auto* st : {&begin_, &commit_, &rollback_, &savepoint_, &release_, &rollbackTo_}) st->reset();
    }
    static void once(Statement& st) {
        st.reset();
        st.run();
        st.reset();
    }
    sqlite3* db_ = nullptr;
    std::unique_ptr<Statement> begin_, commit_, rollback_, savepoint_, release_, rollbackTo_;
};

}  // namespace

std::unique_ptr<Connection> openSQLite(const std::string& path) { return std::make_unique<SQLiteConnection>(path); }

}  // namespace dataservice::db
