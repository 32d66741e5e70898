#include "dataservice/store/access.h"

#include <algorithm>
#include <chrono>
#include <future>

#include "dataservice/operation/metrics.h"
#include "dataservice/operation/log_and_limits.h"
#include "dataservice/common/passwords.h"
#include "dataservice/common/work_pool.h"

namespace dataservice {

db::Statement& Sql::cached(std::string_view sql, std::string_view keyColumn) {
    auto found = cache_.find(sql);
    if (found == cache_.end()) {
        const std::string text(sql);
        auto statement = keyColumn.empty() ? db_.prepare(text) : db_.prepareInsert(text, std::string(keyColumn));
        found = cache_.emplace(text, std::move(statement)).first;
    }
    found->second->reset();
    return *found->second;
}

namespace {
// Enough to fold a burst of uploads into one commit; few enough that the first of them does
// not wait long for the last.
constexpr std::size_t kMaxBatch = 128;

// One line for a batch's failures, naming the first: a database that went away fails every
// transaction of the batch alike.
template <class Batch>
void logFailures(const Batch& batch, std::size_t failed) {
    std::string first = "unknown";
    for (const auto& p : batch) {
        if (!p.error) continue;
        try {
            std::rethrow_exception(p.error);
        } catch (const std::exception& e) {
            first = e.what();
        } catch (...) {
        }
        break;
    }
    logEvent("store-error", {{"failed", std::to_string(failed)}, {"of", std::to_string(batch.size())}, {"error", first}});
}
}  // namespace

Access::Access(const std::string& target, const std::function<void(Sql&)>& prepare, std::size_t maxQueued)
    : maxQueued_(maxQueued) {
    writerDb_ = db::open(target);
    engine_ = writerDb_->engine();
    writerSql_ = std::make_unique<Sql>(*writerDb_);
    try {
        writerDb_->beginSchemaChange();
        try {
            prepare(*writerSql_);
            claimMarkRow();
            writerDb_->commit();
        } catch (...) {
            writerDb_->rollback();
            throw;
        }
        readerDb_ = db::openForReading(target);
        if (readerDb_) readerSql_ = std::make_unique<Sql>(*readerDb_);
    } catch (...) {
        writerSql_->clear();
        throw;
    }
    writer_ = backgroundThread([this] { writerLoop(); });
    writerId_ = writer_.get_id();
}

Access::~Access() {
    close();
    if (readerSql_) readerSql_->clear();
    writerSql_->clear();
}

void Access::close() {
    {
        std::lock_guard queue(queueMutex_);
        closing_ = true;
    }
    queueReady_.notify_all();
    if (writer_.joinable() && !onWriter()) writer_.join();
}

void Access::submit(std::function<void()> work, Done done) {
    bool full = false;
    {
        std::lock_guard queue(queueMutex_);
        full = queue_.size() >= maxQueued_;
        if (!closing_ && !full) {
            queue_.push_back(Pending{std::move(work), std::move(done), nullptr});
            queueReady_.notify_one();
            return;
        }
    }
    if (full) return done(std::make_exception_ptr(StoreBusy("too many transactions are waiting for the database")));
    done(std::make_exception_ptr(StoreError("the store is closing")));
}

void Access::runAndWait(std::function<void()> job) {
    std::promise<void> committed;
    std::future<void> outcome = committed.get_future();
    submit(std::move(job), [&committed](std::exception_ptr error) {
        if (error)
            committed.set_exception(error);
        else
            committed.set_value();
    });
    outcome.get();  // rethrows what the transaction threw
}

void Access::writerLoop() {
    std::vector<Pending> batch;
    std::unique_lock queue(queueMutex_);
    for (;;) {
        queueReady_.wait(queue, [&] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return;  // closing, and everything submitted has been answered
        const auto end = queue_.begin() + static_cast<std::ptrdiff_t>(std::min(queue_.size(), kMaxBatch));
        batch.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(end));
        queue_.erase(queue_.begin(), end);
        queue.unlock();
        const auto began = std::chrono::steady_clock::now();
        commitBatch(batch);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        const auto failed = std::count_if(batch.begin(), batch.end(), [](const Pending& p) { return p.error != nullptr; });
        Metrics::global().commit(batch.size(), took.count(), static_cast<std::size_t>(failed));
        if (failed) logFailures(batch, static_cast<std::size_t>(failed));
        for (Pending& p : batch) {
            try {
                p.done(p.error);
            } catch (...) {
                // Whoever waited has been told as much as can be told.
            }
        }
        batch.clear();
        queue.lock();
    }
}

// Runs the batch's jobs in the open transaction, each behind a savepoint, so one that fails
// rolls back only itself, and a conflict with another process runs it again.
bool Access::runBatch(std::vector<Pending>& batch) {
    db::Connection& db = *writerDb_;
    for (Pending& p : batch) {
        p.error = nullptr;
        for (int attempt = 1;; ++attempt) {
            try {
                db.savepoint();
                p.job();
                db.releaseSavepoint();
                break;
            } catch (...) {
                p.error = std::current_exception();
                bool again = false;
                try {
                    std::rethrow_exception(p.error);
                } catch (const StoreError& e) {
                    again = attempt < 5 && db.retryable(e);
                } catch (...) {
                }
                try {
                    db.rollbackToSavepoint();
                } catch (...) {
                    return false;  // the transaction itself is lost; the caller fails the batch
                }
                if (!again) break;
                p.error = nullptr;
            }
        }
    }
    return true;
}

// A row no other writer holds, dead or alive: the schema change's lock keeps two starting
// writers from taking the same.
void Access::claimMarkRow() {
    writerSql_->execute("CREATE TABLE IF NOT EXISTS writer_commit_marks (writer INTEGER PRIMARY KEY, token TEXT NOT NULL)");
    for (;;) {
        markRow_ = std::stoll(randomToken().substr(0, 7), nullptr, 16) + 1;
        auto taken = writerSql_->query("SELECT 1 FROM writer_commit_marks WHERE writer = ?1");
        taken->bind(1, markRow_);
        if (taken->step()) continue;
        auto st = writerSql_->query("INSERT INTO writer_commit_marks (writer, token) VALUES (?1, '')");
        st->bind(1, markRow_).run();
        return;
    }
}

// The mark goes last, so that it is sent with the commit.
void Access::markBatch() {
    mark_ = randomToken();
    auto st = writerSql_->query("UPDATE writer_commit_marks SET token = ?2 WHERE writer = ?1");
    st->bind(1, markRow_).bind(2, std::string_view(mark_)).send();
}

Access::Outcome Access::outcomeOfMark() {
    try {
        auto st = writerSql_->query("SELECT 1 FROM writer_commit_marks WHERE writer = ?1 AND token = ?2");
        st->bind(1, markRow_).bind(2, std::string_view(mark_));
        return st->step() ? Outcome::Committed : Outcome::NotCommitted;
    } catch (...) {
        return Outcome::Unknown;
    }
}

void Access::settle(const std::vector<Pending*>& live, Outcome outcome, const std::exception_ptr& error) {
    int sentBy = -1;
    try {
        std::rethrow_exception(error);
    } catch (const StoreError& e) {
        sentBy = e.sentBy;
    } catch (...) {
    }
    const auto unknown = std::make_exception_ptr(
        StoreError("the database connection was lost at the commit: whether it was stored is not known"));
    for (std::size_t i = 0; i < live.size(); ++i) {
        if (outcome == Outcome::Unknown)
            live[i]->error = unknown;
        else  // stored; only a job whose answer could not be read is not told so
            live[i]->error = static_cast<int>(i) == sentBy ? error : nullptr;
    }
}

// Most batches fail nowhere: they run in one transaction without a savepoint per job, their
// statements pipelined where the engine can (one round trip for the batch). A job that fails is
// answered with its error and the batch runs again without it; a conflict with another process
// runs the batch again. Only a failure no job can be blamed for (the commit, the connection)
// falls back to a savepoint per job.
bool Access::runPipelined(std::vector<Pending*>& live) {
    db::Connection& db = *writerDb_;
    for (int conflicts = 0; !live.empty();) {
        int running = -1;
        bool committing = false;
        try {
            db.beginBatch();
            for (std::size_t i = 0; i < live.size(); ++i) {
                running = static_cast<int>(i);
                db.setSender(running);
                live[i]->job();
            }
            running = -1;
            db.setSender(-1);
            markBatch();
            committing = true;
            db.commit();
            return true;
        } catch (...) {
            db.setSender(-1);
            const std::exception_ptr error = std::current_exception();
            db.rollback();
            if (committing) {
                committing = false;
                const Outcome outcome = outcomeOfMark();
                if (outcome != Outcome::NotCommitted) {
                    settle(live, outcome, error);
                    return true;
                }
            }
            int culprit = running;
            bool again = false;
            try {
                throw;
            } catch (const StoreError& e) {
                if (e.sentBy >= 0) culprit = e.sentBy;
                again = db.retryable(e);
            } catch (...) {
            }
            if (again) {
                if (++conflicts >= 5) return false;
                continue;
            }
            if (culprit < 0 || culprit >= static_cast<int>(live.size())) return false;
            live[static_cast<std::size_t>(culprit)]->error = error;
            live.erase(live.begin() + culprit);
        }
    }
    return true;
}

void Access::commitBatch(std::vector<Pending>& batch) {
    std::lock_guard lock(writerMutex_);
    std::vector<Pending*> live;
    for (Pending& p : batch) {
        p.error = nullptr;
        live.push_back(&p);
    }
    if (runPipelined(live)) return;
    bool open = false, committing = false;
    try {
        writerDb_->begin();
        open = true;
        if (!runBatch(batch)) throw StoreError("a transaction of the batch could not be rolled back");
        markBatch();
        committing = true;
        writerDb_->commit();
    } catch (...) {
        const std::exception_ptr failed = std::current_exception();
        if (open) writerDb_->rollback();
        const Outcome outcome = committing ? outcomeOfMark() : Outcome::NotCommitted;
        std::vector<Pending*> answered;
        for (Pending& p : batch)
            if (!p.error) answered.push_back(&p);
        if (outcome != Outcome::NotCommitted) return settle(answered, outcome, failed);
        // Nothing of the batch is stored, so none of it may be answered as stored.
        for (Pending* p : answered) p->error = failed;
    }
}

}  // namespace dataservice
