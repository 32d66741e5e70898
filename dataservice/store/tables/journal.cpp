#include "dataservice/store/tables/journal.h"

namespace dataservice {

namespace {
constexpr int kTrimBite = 1024;
}  // namespace

JournalEntry Journal::append(const std::string& path, const std::string& page, const Params& params, int status) {
    std::optional<JournalEntry> entry;
    access_.write([&](Sql&) { send(path, page, params, status, entry); });
    return *entry;
}

void Journal::send(const std::string& path, const std::string& page, const Params& params, int status,
                   std::optional<JournalEntry>& into) {
    into = JournalEntry{0, localTimestamp(), path, page, maskPasswords(params), status};
    access_.write([&](Sql& sql) {
        {
            auto st = sql.insert(
                "INSERT INTO journal (received, path, page, params, status, received_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                "seq");
            st->bind(1, std::string_view(into->received))
                .bind(2, std::string_view(into->path))
                .bind(3, std::string_view(into->page))
                .bind(4, std::string_view(encodeParams(into->params)))
                .bind(5, static_cast<std::int64_t>(status))
                .bind(6, options_.clock())
                .send([entry = &*into](std::int64_t seq) { entry->seq = seq; });
        }
        if (++appendsSinceTrim_ >= 64) trim(kTrimBite);
    });
}

void Journal::forget(std::int64_t seq) {
    access_.write([&](Sql& sql) {
        auto st = sql.query("DELETE FROM journal WHERE seq = ?1");
        st->bind(1, seq).send();
    });
}

int Journal::trim(int limit) {
    return access_.write([&](Sql& sql) {
        appendsSinceTrim_ = 0;
        std::int64_t oldest = 0, newest = 0;
        {
            // Two lookups at the ends of the key's index (one MIN and one MAX together would
            // make SQLite read the whole table).
            auto ends = sql.query("SELECT (SELECT MIN(seq) FROM journal), (SELECT MAX(seq) FROM journal)");
            if (!ends->step() || ends->isNull(0)) return 0;
            oldest = ends->integer(0);
            newest = ends->integer(1);
        }
        // The bite is a range of the key from the oldest entry, which both engines read through
        // the key's index: entries are numbered in time order, so the old ones are at its start.
        // (Asked for the old entries by their time, PostgreSQL may read the whole journal to
        // find out that there are none, or every old entry to keep only a bite of them.)
        // A range closed at both ends, so that PostgreSQL takes it as narrow before it has
        // statistics of the table too.
        auto st = sql.query("DELETE FROM journal WHERE seq BETWEEN ?1 AND ?2 AND (received_at < ?3 OR seq <= ?4)");
        st->bind(1, oldest)
            .bind(2, oldest + limit - 1)
            .bind(3, options_.clock() - options_.journalMaxAgeSeconds)
            .bind(4, newest - options_.journalMaxEntries)
            .run();
        return static_cast<int>(st->changes());
    });
}

std::vector<JournalEntry> Journal::all() {
    return access_.read([&](Sql& sql) {
        auto st = sql.query("SELECT seq, received, path, page, params, status FROM journal ORDER BY seq");
        std::vector<JournalEntry> out;
        while (st->step())
            out.push_back(JournalEntry{st->integer(0), st->text(1), st->text(2), st->text(3),
                                       decodeParams(st->text(4)), static_cast<int>(st->integer(5))});
        return out;
    });
}

}  // namespace dataservice
