#include "bench/monday/explain.h"

#include <cstdio>
#include <vector>

#include "dataservice/db/database.h"

namespace monday {
namespace {

std::string number(dataservice::db::Connection& c, const std::string& sql) {
    auto st = c.prepare(sql);
    return st->step() && !st->isNull(0) ? std::to_string(st->integer(0)) : "0";
}

// The statements of an upload, a reset with its prune, and the signed-in page, as the store
// sends them, with the measured profiles' keys in place of the parameters.
std::vector<std::pair<std::string, std::string>> statements(dataservice::db::Connection& c) {
    const std::string profile = number(c, "SELECT id FROM profiles WHERE kind = 'subscriber' AND name = 'pruner'");
    const std::string current = number(c, "SELECT current_collection FROM profiles WHERE id = " + profile);
    const std::string oldest = number(c, "SELECT min(id) FROM collections WHERE profile_id = " + profile);
    return {
        {"upload", "INSERT INTO collected_items (profile_id, collection_id, category, text, config_date) SELECT id, current_collection,"
                   " 'Software', 'x', NULL FROM profiles WHERE kind = 'subscriber' AND name = 'pruner' AND password_hash = 'h'"},
        {"reset", "DELETE FROM collected_items WHERE profile_id = " + profile + " AND collection_id IS NULL"},
        {"prune", "DELETE FROM collections WHERE profile_id = " + profile + " AND id NOT IN (SELECT id FROM collections"
                  " WHERE profile_id = " + profile + " ORDER BY id DESC LIMIT 5)"},
        {"prune's cascade", "DELETE FROM collected_items WHERE collection_id = " + oldest},
        {"page: items", "SELECT seq, category, text, config_date FROM collected_items WHERE collection_id = " + current + " ORDER BY seq"},
        {"page: collections", "SELECT c.id, c.started, c.completed, (SELECT count(*) FROM collected_items i WHERE i.collection_id = c.id)"
                              " FROM collections c WHERE c.profile_id = " + profile + " ORDER BY c.id DESC"},
    };
}

}  // namespace

void printPlans(const std::string& target) {
    auto c = dataservice::db::open(target);
    const bool sqlite = c->engine() == dataservice::db::Engine::SQLite;
    std::printf("query plans on the grown database:\n");
    for (const auto& [what, sql] : statements(*c)) {
        std::printf("  %s: %s\n", what.c_str(), sql.c_str());
        auto st = c->prepare((sqlite ? "EXPLAIN QUERY PLAN " : "EXPLAIN ") + sql);
        while (st->step()) std::printf("    %s\n", st->text(sqlite ? 3 : 0).c_str());
    }
    std::fflush(stdout);
}

}  // namespace monday
