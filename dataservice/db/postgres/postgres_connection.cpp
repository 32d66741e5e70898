// The store on PostgreSQL through libpq: statements prepared on the server once per session,
// values sent apart from the SQL, results in binary so that bytes come back as they went in.
#include <endian.h>
#include <libpq-fe.h>

#include <cstring>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "dataservice/db/database.h"

namespace dataservice::db {

std::string postgresPlaceholders(std::string_view sql, int* count) {
    std::string out;
    out.reserve(sql.size());
    int highest = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '\'') quoted = !quoted;
        if (c == '?' && !quoted && i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
            int n = 0;
            out.push_back('$');
            while (i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
                n = n * 10 + (sql[i + 1] - '0');
                out.push_back(sql[++i]);
            }
            if (n > highest) highest = n;
            continue;
        }
        out.push_back(c);
    }
    if (count) *count = highest;
    return out;
}

namespace {

// What the server said went wrong, with its SQLSTATE so that conflicts can be told apart.
class PostgresError : public StoreError {
public:
    PostgresError(const std::string& what, std::string state) : StoreError(what), sqlstate(std::move(state)) {}
    std::string sqlstate;
};

[[noreturn]] void fail(PGconn* conn, PGresult* res, const std::string& doing) {
    std::string state;
    std::string message = PQerrorMessage(conn);
    if (res) {
        if (const char* s = PQresultErrorField(res, PG_DIAG_SQLSTATE)) state = s;
        if (const char* m = PQresultErrorMessage(res); m && *m) message = m;
        PQclear(res);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    throw PostgresError(doing + ": " + message, state);
}

PostgresError errorOf(PGconn* conn, PGresult* res, const std::string& doing) {
    try {
        fail(conn, res, doing);
    } catch (const PostgresError& e) {
        return e;
    }
}

// Rows a finished statement inserted, changed or deleted.
std::int64_t rowsTouched(PGresult* res) {
    const char* tuples = PQcmdTuples(res);
    return tuples && *tuples ? std::stoll(tuples) : 0;
}

std::int64_t integerOf(const PGresult* res, int row, int col) {
    const char* p = PQgetvalue(res, row, col);
    switch (PQgetlength(res, row, col)) {
        case 2: { std::uint16_t v; std::memcpy(&v, p, 2); return static_cast<std::int16_t>(be16toh(v)); }
        case 4: { std::uint32_t v; std::memcpy(&v, p, 4); return static_cast<std::int32_t>(be32toh(v)); }
        case 8: { std::uint64_t v; std::memcpy(&v, p, 8); return static_cast<std::int64_t>(be64toh(v)); }
        default:
            throw StoreError("column " + std::to_string(col) + " does not hold an integer of 2, 4 or 8 bytes");
    }
}

struct Result {
    PGresult* res = nullptr;
    ~Result() { PQclear(res); }
};

class PostgresConnection;

class PostgresStatement final : public Statement {
public:
    // With `keyColumn`, an insert that answers the new row's key.
    PostgresStatement(PostgresConnection& connection, const std::string& sql, const std::string& keyColumn = {});
    ~PostgresStatement() override { PQclear(result_); }

    Statement& bind(int i, std::string_view text) override {
        Param& p = param(i);
        p.value.assign(text.data(), text.size());
        p.null = false;
        p.binary = true;  // raw bytes: a text or bytea column takes them as they are
        return *this;
    }
    Statement& bind(int i, std::int64_t value) override {
        Param& p = param(i);
        p.value = std::to_string(value);
        p.null = false;
        p.binary = false;  // as text, whichever integer type the server chose for it
        return *this;
    }
    Statement& bindNull(int i) override {
        param(i).null = true;
        return *this;
    }
    bool step() override;
    std::string text(int col) const override {
        return std::string(PQgetvalue(result_, row_, col), static_cast<std::size_t>(PQgetlength(result_, row_, col)));
    }
    bool isNull(int col) const override { return PQgetisnull(result_, row_, col) != 0; }
    std::int64_t integer(int col) const override { return integerOf(result_, row_, col); }
    void send(KeyHandler onKey) override;
    void sendCounted(CountHandler onCount) override;
    std::int64_t insert() override {
        if (!insertsRow_) throw StoreError("insert() of a statement not prepared as an insert");
        if (!step()) throw StoreError("a row was not inserted");
        return integer(0);
    }
    std::int64_t changes() const override { return changes_; }
    void reset() override {
        PQclear(result_);
        result_ = nullptr;
        row_ = -1;
        changes_ = 0;
        for (Param& p : params_) p = Param{};
    }

private:
    // Queues the statement (and its preparation, once per session) on the connection's pipeline;
    // `onResult` gets its answer, or null when it failed or was skipped; it may take the answer.
    void sendPipelined(std::function<void(PGresult*&)> onResult);
    struct Param {
        std::string value;
        bool null = true;
        bool binary = false;
    };
    // The bound values as libpq takes them, pointing into params_.
    struct Bound {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
    };
    Bound bound() const;
    Param& param(int i) {
        if (i < 1 || i > static_cast<int>(params_.size())) throw StoreError("no parameter " + std::to_string(i));
        return params_[static_cast<std::size_t>(i - 1)];
    }
    PostgresConnection& connection_;
    std::string sql_;
    std::string name_;
    std::uint64_t preparedIn_ = 0;  // the session it was prepared in; 0: not yet
    std::vector<Param> params_;
    bool insertsRow_ = false;
    PGresult* result_ = nullptr;
    int row_ = -1;
    std::int64_t changes_ = 0;
};

void ignoreNotice(void*, const char*) {}

class PostgresConnection final : public Connection {
public:
    explicit PostgresConnection(const std::string& uri) {
        // Bounds of our own for a server that vanishes without closing (a cable, a frozen host):
        // listed before the URI, whose own settings win. Without them libpq waits for hours.
        const char* const keys[] = {"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                                    "keepalives_count", "tcp_user_timeout", "dbname", nullptr};
        const char* const values[] = {"10", "1", "30", "10", "3", "30000", uri.c_str(), nullptr};
        conn_ = PQconnectdbParams(keys, values, 1);
        if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
            std::string why = conn_ ? PQerrorMessage(conn_) : "out of memory";
            while (!why.empty() && why.back() == '\n') why.pop_back();
            PQfinish(conn_);
            throw StoreError("cannot connect to the database: " + why);
        }
        setUp();
    }
    ~PostgresConnection() override { PQfinish(conn_); }

    Engine engine() const override { return Engine::PostgreSQL; }
    std::unique_ptr<Statement> prepare(const std::string& sql) override {
        return std::make_unique<PostgresStatement>(*this, sql);
    }
    std::unique_ptr<Statement> prepareInsert(const std::string& sql, const std::string& keyColumn) override {
        return std::make_unique<PostgresStatement>(*this, sql, keyColumn);
    }
    void execute(const std::string& sql) override {
        if (pipeline_) {
            sendText(sql);
            roundTrip();
            return;
        }
        PGresult* res = PQexec(conn_, sql.c_str());
        const auto status = PQresultStatus(res);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(conn_, res, "database statement failed");
        PQclear(res);
    }
    void begin() override {
        reviveIfLost();
        execute("BEGIN");
        inTransaction_ = true;
    }
    void beginBatch() override {
        reviveIfLost();
        if (PQenterPipelineMode(conn_) != 1) fail(conn_, nullptr, "cannot pipeline statements");
        pipeline_ = true;
        error_.reset();
        sendText("BEGIN");
        inTransaction_ = true;
    }
    void commit() override {
        if (pipeline_) {
            sendText("COMMIT");
            inTransaction_ = false;
            endPipeline();
            if (error_) throw *std::exchange(error_, std::nullopt);
            return;
        }
        execute("COMMIT");
        inTransaction_ = false;
    }
    void rollback() noexcept override {
        inTransaction_ = false;
        try {
            endPipeline();
        } catch (const StoreError&) {
            // The session is gone; so is its transaction.
        }
        error_.reset();
        try {
            execute("ROLLBACK");
        } catch (const StoreError&) {
            // The session is gone; so is its transaction.
        }
    }
    // A session the server ended (a restart, an idle cut) is opened anew between transactions,
    // never inside one.
    void reviveIfLost() {
        if (inTransaction_ || PQstatus(conn_) == CONNECTION_OK) return;
        PQreset(conn_);
        if (PQstatus(conn_) != CONNECTION_OK) fail(conn_, nullptr, "cannot reconnect to the database");
        setUp();
    }
    void savepoint() override { execute("SAVEPOINT request"); }
    void releaseSavepoint() override { execute("RELEASE SAVEPOINT request"); }
    void rollbackToSavepoint() override {
        execute("ROLLBACK TO SAVEPOINT request");
        execute("RELEASE SAVEPOINT request");
    }
    void beginSchemaChange() override {
        begin();
        // Two processes starting on a new database: the second waits, then finds the tables.
        execute("SELECT pg_advisory_xact_lock(7235002)");
    }
    std::int64_t schemaVersion() override {
        Result r{PQexec(conn_, "SELECT to_regclass('vantrel_schema') IS NOT NULL")};
        if (PQresultStatus(r.res) != PGRES_TUPLES_OK) fail(conn_, std::exchange(r.res, nullptr), "cannot read the schema version");
        if (std::strcmp(PQgetvalue(r.res, 0, 0), "t") != 0) return 0;
        Result v{PQexec(conn_, "SELECT version FROM vantrel_schema")};
        if (PQresultStatus(v.res) != PGRES_TUPLES_OK) fail(conn_, std::exchange(v.res, nullptr), "cannot read the schema version");
        return PQntuples(v.res) ? std::stoll(PQgetvalue(v.res, 0, 0)) : 0;
    }
    void setSchemaVersion(std::int64_t version) override {
        execute("CREATE TABLE IF NOT EXISTS vantrel_schema (version BIGINT NOT NULL)");
        execute("DELETE FROM vantrel_schema");
        execute("INSERT INTO vantrel_schema (version) VALUES (" + std::to_string(version) + ")");
    }
    bool retryable(const StoreError& error) const override {
        const auto* pg = dynamic_cast<const PostgresError*>(&error);
        // serialization_failure, deadlock_detected
        return pg && (pg->sqlstate == "40001" || pg->sqlstate == "40P01");
    }

    void setSender(int sender) override { sender_ = sender; }
    bool tryLockAcrossProcesses(std::int64_t key) override {
        if (!tryLock_) tryLock_ = prepare("SELECT CASE WHEN pg_try_advisory_lock(?1) THEN 1 ELSE 0 END");
        tryLock_->reset();
        tryLock_->bind(1, key);
        const bool taken = tryLock_->step() && tryLock_->integer(0) == 1;
        tryLock_->reset();
        return taken;
    }
    void unlockAcrossProcesses() override { execute("SELECT pg_advisory_unlock_all()"); }

    PGconn* conn() { return conn_; }
    bool pipelining() const { return pipeline_; }
    // The answer of what was just queued is awaited by whoever queued it.
    void expect(std::function<void(PGresult*&)> onResult) { sent_.push_back(Sent{std::move(onResult), sender_}); }
    // Sends what is queued and reads every answer; throws the first failure among them.
    void roundTrip() {
        if (PQsendFlushRequest(conn_) != 1 || PQflush(conn_) != 0) lose("cannot send to the database");
        collect();
        if (error_) throw *std::exchange(error_, std::nullopt);
    }
    std::uint64_t session() const { return session_; }
    std::string nextName() { return "vantrel_" + std::to_string(++names_); }

private:
    struct Sent {
        std::function<void(PGresult*&)> onResult;
        int sentBy;
    };
    void sendText(const std::string& sql) {
        if (PQsendQueryParams(conn_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) != 1)
            fail(conn_, nullptr, "database statement failed");
        expect({});
    }
    [[noreturn]] void lose(const std::string& doing) {
        sent_.clear();
        fail(conn_, nullptr, doing);
    }
    // Reads the answers of everything queued, in order. After a failure the server skips the
    // rest up to the next sync; the first failure is kept for whoever ends the round trip.
    void collect() {
        while (!sent_.empty()) {
            Sent s = std::move(sent_.front());
            sent_.pop_front();
            PGresult* res = PQgetResult(conn_);
            if (!res) lose("the database did not answer");
            const auto status = PQresultStatus(res);
            const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
            if (!ok && status != PGRES_PIPELINE_ABORTED && !error_) {
                error_ = errorOf(conn_, std::exchange(res, nullptr), "database statement failed");
                error_->sentBy = s.sentBy;
            }
            if (s.onResult) {
                try {
                    PGresult* answer = ok ? res : nullptr;
                    s.onResult(answer);
                    if (ok) res = answer;
                } catch (const PostgresError& e) {
                    if (!error_) (error_ = e)->sentBy = s.sentBy;
                } catch (const StoreError& e) {
                    if (!error_) (error_ = PostgresError(e.what(), ""))->sentBy = s.sentBy;
                }
            }
            PQclear(res);
            // Each query's answers end with a null result.
            while (PGresult* extra = PQgetResult(conn_)) PQclear(extra);
        }
    }
    // The sync: answers read, the pipeline left. The transaction is not ended by it.
    void endPipeline() {
        if (!pipeline_) return;
        pipeline_ = false;
        if (PQpipelineSync(conn_) != 1) lose("cannot send to the database");
        collect();
        PGresult* res = PQgetResult(conn_);
        const bool synced = res && PQresultStatus(res) == PGRES_PIPELINE_SYNC;
        PQclear(res);
        if (!synced || PQexitPipelineMode(conn_) != 1) lose("the database's answers were out of step");
    }
    void setUp() {
        ++session_;
        PQsetNoticeProcessor(conn_, &ignoreNotice, nullptr);
        execute("SET client_encoding = 'UTF8'");
    }
    PGconn* conn_ = nullptr;
    std::uint64_t session_ = 0;
    std::uint64_t names_ = 0;
    bool inTransaction_ = false;
    bool pipeline_ = false;
    std::deque<Sent> sent_;
    std::optional<PostgresError> error_;
    std::unique_ptr<Statement> tryLock_;
    int sender_ = -1;
};

PostgresStatement::PostgresStatement(PostgresConnection& connection, const std::string& sql,
                                     const std::string& keyColumn)
    : connection_(connection), name_(connection.nextName()), insertsRow_(!keyColumn.empty()) {
    int count = 0;
    sql_ = postgresPlaceholders(insertsRow_ ? sql + " RETURNING " + keyColumn : sql, &count);
    params_.resize(static_cast<std::size_t>(count));
}

PostgresStatement::Bound PostgresStatement::bound() const {
    Bound b{std::vector<const char*>(params_.size()), std::vector<int>(params_.size()), std::vector<int>(params_.size())};
    for (std::size_t i = 0; i < params_.size(); ++i) {
        b.values[i] = params_[i].null ? nullptr : params_[i].value.data();
        b.lengths[i] = static_cast<int>(params_[i].value.size());
        b.formats[i] = params_[i].binary ? 1 : 0;
    }
    return b;
}

void PostgresStatement::sendPipelined(std::function<void(PGresult*&)> onResult) {
    PGconn* conn = connection_.conn();
    if (preparedIn_ != connection_.session()) {
        if (PQsendPrepare(conn, name_.c_str(), sql_.c_str(), static_cast<int>(params_.size()), nullptr) != 1)
            fail(conn, nullptr, "cannot prepare a statement");
        // Taken as prepared from now on, so that the pipeline prepares it once; skipped after a
        // failure, it is prepared again next time.
        preparedIn_ = connection_.session();
        connection_.expect([this](PGresult*& res) {
            if (!res) preparedIn_ = 0;
        });
    }
    const Bound b = bound();
    if (PQsendQueryPrepared(conn, name_.c_str(), static_cast<int>(params_.size()), b.values.data(), b.lengths.data(),
                            b.formats.data(), 1) != 1)
        fail(conn, nullptr, "database statement failed");
    connection_.expect(std::move(onResult));
}

void PostgresStatement::send(KeyHandler onKey) {
    if (!connection_.pipelining()) return Statement::send(std::move(onKey));
    if (!onKey) return sendPipelined({});
    if (!insertsRow_) throw StoreError("a key asked of a statement not prepared as an insert");
    sendPipelined([onKey = std::move(onKey)](PGresult*& res) {
        if (!res) return;
        if (PQntuples(res) != 1) throw StoreError("a row was not inserted");
        onKey(integerOf(res, 0, 0));
    });
}

void PostgresStatement::sendCounted(CountHandler onCount) {
    if (!connection_.pipelining()) return Statement::sendCounted(std::move(onCount));
    sendPipelined([onCount = std::move(onCount)](PGresult*& res) {
        if (res) onCount(rowsTouched(res));
    });
}

bool PostgresStatement::step() {
    if (!result_ && connection_.pipelining()) {
        sendPipelined([this](PGresult*& res) { result_ = std::exchange(res, nullptr); });
        connection_.roundTrip();
        if (!result_) throw StoreError("database statement got no answer");
        changes_ = rowsTouched(result_);
    }
    if (!result_) {
        connection_.reviveIfLost();
        PGconn* conn = connection_.conn();
        if (preparedIn_ != connection_.session()) {
            PGresult* res = PQprepare(conn, name_.c_str(), sql_.c_str(), static_cast<int>(params_.size()), nullptr);
            if (PQresultStatus(res) != PGRES_COMMAND_OK) fail(conn, res, "cannot prepare a statement");
            PQclear(res);
            preparedIn_ = connection_.session();
        }
        const Bound b = bound();
        PGresult* res = PQexecPrepared(conn, name_.c_str(), static_cast<int>(params_.size()), b.values.data(),
                                       b.lengths.data(), b.formats.data(), 1);
        const auto status = PQresultStatus(res);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(conn, res, "database statement failed");
        result_ = res;
        changes_ = rowsTouched(res);
    }
    return ++row_ < PQntuples(result_);
}

}  // namespace

std::unique_ptr<Connection> openPostgres(const std::string& uri) { return std::make_unique<PostgresConnection>(uri); }

}  // namespace dataservice::db
