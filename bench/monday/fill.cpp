#include "bench/monday/fill.h"

#include <stdexcept>

#include "dataservice/store/store.h"

namespace monday {
namespace {

std::int64_t fillOne(dataservice::db::Connection& c, std::int64_t profile, const ProfileShape& shape) {
    if (shape.collections == 0) return 0;  // an account that has never uploaded
    c.beginBatch();
    auto collection = c.prepareInsert(
        "INSERT INTO collections (profile_id, started, completed) VALUES (?1, ?2, ?2)", "id");
    auto item = c.prepare(
        "INSERT INTO collected_items (profile_id, collection_id, category, text, config_date) VALUES (?1, ?2, ?3, ?4, NULL)");
    std::int64_t id = 0;
    for (int k = 0; k < shape.collections; ++k) {
        const std::string when = "2026-11-" + std::to_string(10 + k) + "T09:00:00";
        id = collection->bind(1, profile).bind(2, std::string_view(when)).insert();
        collection->reset();
        for (int i = 0; i < shape.items; ++i) {
            const std::string text = "Program " + std::to_string(i) + " of " + shape.name + ", version 1." +
                                     std::to_string(i % 10 == 0 ? k : 0) + ".2";
            item->bind(1, profile).bind(2, id).bind(3, std::string_view("Software")).bind(4, std::string_view(text)).send();
            item->reset();
        }
    }
    auto current = c.prepare(
        "UPDATE profiles SET current_collection = ?2, run_started = ?3, run_completed = ?3, last_update = ?3 WHERE id = ?1");
    current->bind(1, profile).bind(2, id).bind(3, std::string_view("2026-11-30T09:00:00")).run();
    c.commit();
    return static_cast<std::int64_t>(shape.collections) * shape.items;
}

}  // namespace

std::int64_t fillProfiles(const std::string& target, const std::vector<ProfileShape>& shapes) {
    std::vector<std::int64_t> ids;
    {
        dataservice::StoreOptions options;
        options.passwordIterations = 1000;  // these passwords are not what is measured
        dataservice::Store store(target, options);
        for (const ProfileShape& s : shapes) {
            store.profiles().addAccount(s.name, kPassword);
            ids.push_back(store.profiles().subscriber(s.name)->id);
        }
    }
    auto connection = dataservice::db::open(target);
    std::int64_t items = 0;
    for (std::size_t p = 0; p < shapes.size(); ++p) items += fillOne(*connection, ids[p], shapes[p]);
    if (connection->engine() == dataservice::db::Engine::PostgreSQL) connection->execute("ANALYZE");
    return items;
}

}  // namespace monday
