#pragma once
// How the store reaches its database. Every write goes through one writer thread, which commits
// the transactions waiting together, so the journal's order is the order of commits and a burst
// of uploads costs one commit, not one each. Reads have a connection of their own and never wait
// for a commit (SQLite's write-ahead log lets them read beside the writer). Every statement is
// prepared once per connection, found again by its text, and bound; no value is ever pasted into
// SQL text.
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dataservice/db/database.h"

namespace dataservice {

// One connection's statements, each prepared the first time its text is asked for.
class Sql {
public:
    explicit Sql(db::Connection& connection) : db_(connection) {}
    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;

    // A statement in use: reset (its bindings cleared, its read ended) when it goes.
    class Query {
    public:
        explicit Query(db::Statement& st) : st_(&st) {}
        Query(const Query&) = delete;
        Query& operator=(const Query&) = delete;
        ~Query() { st_->reset(); }
        db::Statement* operator->() const { return st_; }
        db::Statement& operator*() const { return *st_; }

    private:
        db::Statement* st_;
    };

    Query query(std::string_view sql) { return Query(cached(sql, {})); }
    // An insert of one row whose key (`keyColumn`) Statement::insert() answers.
    Query insert(std::string_view sql, std::string_view keyColumn) { return Query(cached(sql, keyColumn)); }
    void execute(std::string_view sql) { db_.execute(std::string(sql)); }
    db::Connection& connection() { return db_; }
    // Drops every prepared statement (before the connection goes).
    void clear() { cache_.clear(); }

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    db::Statement& cached(std::string_view sql, std::string_view keyColumn);

    db::Connection& db_;
    std::unordered_map<std::string, std::unique_ptr<db::Statement>, TextHash, std::equal_to<>> cache_;
};

class Access {
public:
    // Opens the database, lets `prepare` create or migrate its schema in one transaction, then
    // starts the writer and opens the readers' connection.
    // At most `maxQueued` transactions wait for the writer; more are refused (StoreBusy), so
    // that a database that stops answering costs memory only that far.
    Access(const std::string& target, const std::function<void(Sql&)>& prepare, std::size_t maxQueued = 16384);
    ~Access();
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;

    db::Engine engine() const { return engine_; }

    // Runs what was submitted, refuses what comes after, and ends the writer. Safe to call twice.
    void close();

    // What became of a submitted transaction: no error once it is committed.
    using Done = std::function<void(std::exception_ptr error)>;

    // Queues `work` for the writer thread, which runs the transactions waiting at the same time
    // in one commit (one that fails is answered with its error and the others run again without
    // it), then calls `done` on that thread. `done` is never called before the
    // commit has ended, so nothing is acknowledged that is not stored. A transaction that
    // conflicted with another process's (PostgreSQL) runs again, so `work` must not act outside
    // the store. Returns at once.
    void submit(std::function<void()> work, Done done);

    // Runs `work(sql)` in a write transaction and waits for its commit: committed when it
    // returns, rolled back when it throws. On the writer's thread (inside a submitted job) it
    // joins the transaction under way.
    template <class F>
    auto write(F&& work) -> decltype(work(std::declval<Sql&>())) {
        using Result = decltype(work(std::declval<Sql&>()));
        if (onWriter()) return work(*writerSql_);
        if constexpr (std::is_void_v<Result>) {
            runAndWait([&] { work(*writerSql_); });
        } else {
            std::optional<Result> result;
            runAndWait([&] { result.emplace(work(*writerSql_)); });
            return std::move(*result);
        }
    }

    // Runs `work(sql)` on the readers' connection; on the writer's thread, inside its
    // transaction, so that a job sees what it wrote.
    template <class F>
    auto read(F&& work) -> decltype(work(std::declval<Sql&>())) {
        if (onWriter()) return work(*writerSql_);
        if (!readerSql_) {  // nothing to read beside the writer with: wait for its commit
            std::lock_guard lock(writerMutex_);
            return work(*writerSql_);
        }
        std::lock_guard lock(readerMutex_);
        return work(*readerSql_);
    }

    bool onWriter() const { return std::this_thread::get_id() == writerId_; }

private:
    struct Pending {
        std::function<void()> job;
        Done done;
        std::exception_ptr error;
    };
    void runAndWait(std::function<void()> job);
    void writerLoop();
    void commitBatch(std::vector<Pending>& batch);
    bool runBatch(std::vector<Pending>& batch);
    bool runPipelined(std::vector<Pending*>& live);
    // A commit that failed may still have been made by the server (its answer lost with the
    // connection): the batch's mark, written in its transaction, tells. Each writer has a row of
    // its own, claimed at the start, and a batch rewrites only that row's token: one small page
    // more a commit.
    enum class Outcome { Committed, NotCommitted, Unknown };
    void claimMarkRow();
    void markBatch();
    Outcome outcomeOfMark();
    // Answers a batch the server committed, or may have: never run again.
    static void settle(const std::vector<Pending*>& live, Outcome outcome, const std::exception_ptr& error);

    std::int64_t markRow_ = 0;
    std::string mark_;

    db::Engine engine_;
    std::unique_ptr<db::Connection> writerDb_, readerDb_;
    std::unique_ptr<Sql> writerSql_, readerSql_;
    std::mutex writerMutex_;  // held through each commit
    std::mutex readerMutex_;

    std::mutex queueMutex_;
    std::condition_variable queueReady_;
    std::vector<Pending> queue_;
    bool closing_ = false;
    std::size_t maxQueued_;
    std::thread writer_;
    std::thread::id writerId_;
};

}  // namespace dataservice
