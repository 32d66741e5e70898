#include "dataservice/store/tables/journal.h"

namespace dataservice {

namespace {
constexpr int kTrimBite = 1024;
}  // namespace

JournalEntry Journal::append(const std::string& path, const std::string& page, const Params& params, int status) {
    JournalEntry entry{0, localTimestamp(), path, page, maskPasswords(params), status};
    return access_.write([&](Sql& sql) {
        {
            auto st = sql.insert(
                "INSERT INTO journal (received, path, page, params, status, received_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                "seq");
            entry.seq = st->bind(1, std::string_view(entry.received))
                            .bind(2, std::string_view(entry.path))
                            .bind(3, std::string_view(entry.page))
                            .bind(4, std::string_view(encodeParams(entry.params)))
                            .bind(5, static_cast<std::int64_t>(status))
                            .bind(6, options_.clock())
                            .insert();
        }
        // Trimming now and then keeps the window's cost off most requests; the bound overshoots
        // by at most the interval. A bounded trim never makes one request pay for a long quiet
        // spell, and still outpaces the appends.
        if (++appendsSinceTrim_ >= 64) trim(kTrimBite);
        return entry;
    });
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

int Journal::trim(int limit) {
    return access_.write([&](Sql& sql) {
        appendsSinceTrim_ = 0;
        int removed = 0;
        {
            // Found through the index on the time: a journal with nothing old costs nothing.
            auto st = sql.query(
                "DELETE FROM journal WHERE seq IN (SELECT seq FROM journal WHERE received_at < ?1 LIMIT ?2)");
            st->bind(1, options_.clock() - options_.journalMaxAgeSeconds).bind(2, static_cast<std::int64_t>(limit)).run();
            removed += static_cast<int>(st->changes());
        }
        auto st = sql.query(
            "DELETE FROM journal WHERE seq IN (SELECT seq FROM journal"
            " WHERE seq <= (SELECT MAX(seq) FROM journal) - ?1 ORDER BY seq LIMIT ?2)");
        st->bind(1, options_.journalMaxEntries).bind(2, static_cast<std::int64_t>(limit)).run();
        return removed + static_cast<int>(st->changes());
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
