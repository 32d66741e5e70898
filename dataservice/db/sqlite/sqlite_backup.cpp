// A consistent copy of a live SQLite database, made page by page while the service goes on
// writing beside it.
#include <sqlite3.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "dataservice/db/database.h"

namespace dataservice::db {
namespace {

struct Db {
    sqlite3* db = nullptr;
    ~Db() { sqlite3_close_v2(db); }
    void exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string why = error ? error : sqlite3_errmsg(db);
            sqlite3_free(error);
            throw std::runtime_error(why);
        }
    }
};

void openDb(Db& d, const std::string& path, int flags) {
    if (sqlite3_open_v2(path.c_str(), &d.db, flags, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path + ": " + (d.db ? sqlite3_errmsg(d.db) : "out of memory"));
    sqlite3_busy_timeout(d.db, 10000);
}

// "ok", or what integrity_check found.
std::string integrity(Db& d) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(d.db, "PRAGMA integrity_check", -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(d.db));
    std::string found;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (!found.empty()) found += "; ";
        found += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    return found;
}

// Pages copied per step: small enough that the writer never waits long for the file.
constexpr int kPagesPerStep = 256;

}  // namespace

void copySQLite(const std::string& source, const std::string& temp) {
    Db src, dst;
    openDb(src, source, SQLITE_OPEN_READONLY);
    openDb(dst, temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // One read transaction for the whole copy: every step reads the same snapshot (the
    // write-ahead log lets the writer go on beside it), so the copy is one moment of the
    // database and never starts over because the service wrote meanwhile.
    src.exec("BEGIN");
    src.exec("SELECT count(*) FROM sqlite_master");
    sqlite3_backup* b = sqlite3_backup_init(dst.db, "main", src.db, "main");
    if (!b) throw std::runtime_error(std::string("cannot start the copy: ") + sqlite3_errmsg(dst.db));
    int rc;
    while ((rc = sqlite3_backup_step(b, kPagesPerStep)) == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        std::this_thread::sleep_for(std::chrono::milliseconds(rc == SQLITE_OK ? 0 : 10));
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE) throw std::runtime_error(std::string("the copy failed: ") + sqlite3_errstr(rc));
    src.exec("COMMIT");
    // The copy stands alone: no write-ahead log beside it.
    dst.exec("PRAGMA journal_mode=DELETE");
    const std::string check = integrity(dst);
    if (check != "ok") throw std::runtime_error("the copy does not pass integrity_check: " + check);
}


}  // namespace dataservice::db
