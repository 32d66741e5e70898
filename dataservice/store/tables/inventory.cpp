#include "dataservice/store/tables/inventory.h"

namespace dataservice {
namespace {

std::vector<Item> readItems(Sql::Query& st) {
    std::vector<Item> out;
    while (st->step()) out.push_back(Item{st->integer(0), st->text(1), st->text(2), st->optionalText(3)});
    return out;
}

std::optional<std::int64_t> currentCollection(Sql& sql, std::int64_t profileId) {
    auto st = sql.query("SELECT current_collection FROM profiles WHERE id = ?1");
    if (!st->bind(1, profileId).step() || st->isNull(0)) return std::nullopt;
    return st->integer(0);
}

}  // namespace

void Inventory::reset(std::int64_t profileId) {
    access_.write([&](Sql& sql) {
        const std::string now = localTimestamp();
        std::int64_t id = 0;
        {
            auto st = sql.insert("INSERT INTO collections (profile_id, started) VALUES (?1, ?2)", "id");
            id = st->bind(1, profileId).bind(2, std::string_view(now)).insert();
        }
        {
            // Items stored before the profile had any collection belong to none: a reset ends them.
            auto st = sql.query("DELETE FROM collected_items WHERE profile_id = ?1 AND collection_id IS NULL");
            st->bind(1, profileId).run();
        }
        {
            auto st = sql.query(
                "UPDATE profiles SET run_started = ?2, run_completed = NULL, current_collection = ?3 WHERE id = ?1");
            st->bind(1, profileId).bind(2, std::string_view(now)).bind(3, id).run();
        }
        // Their items go with them (ON DELETE CASCADE).
        auto st = sql.query(
            "DELETE FROM collections WHERE profile_id = ?1 AND id NOT IN"
            " (SELECT id FROM collections WHERE profile_id = ?1 ORDER BY id DESC LIMIT ?2)");
        st->bind(1, profileId).bind(2, static_cast<std::int64_t>(options_.keepCollections)).run();
    });
}

std::int64_t Inventory::add(std::int64_t profileId, const std::string& category, const std::string& text,
                            const std::optional<std::string>& configDate) {
    return access_.write([&](Sql& sql) {
        auto st = sql.insert(
            "INSERT INTO collected_items (profile_id, collection_id, category, text, config_date)"
            " VALUES (?1, (SELECT current_collection FROM profiles WHERE id = ?1), ?2, ?3, ?4)",
            "seq");
        return st->bind(1, profileId).bind(2, std::string_view(category)).bind(3, std::string_view(text))
            .bind(4, configDate).insert();
    });
}

void Inventory::addIfHolds(const std::string& name, const std::string& passwordHash, const std::string& category,
                           const std::string& text, const std::optional<std::string>& configDate,
                           std::function<void(bool held)> onOutcome) {
    access_.write([&](Sql& sql) {
        auto st = sql.query(
            "INSERT INTO collected_items (profile_id, collection_id, category, text, config_date)"
            " SELECT id, current_collection, ?3, ?4, ?5 FROM profiles"
            " WHERE kind = 'subscriber' AND name = ?1 AND password_hash = ?2");
        st->bind(1, std::string_view(name)).bind(2, std::string_view(passwordHash)).bind(3, std::string_view(category))
            .bind(4, std::string_view(text)).bind(5, configDate);
        if (!onOutcome) return st->send();
        st->sendCounted([onOutcome = std::move(onOutcome)](std::int64_t rows) { onOutcome(rows > 0); });
    });
}

void Inventory::finalize(std::int64_t profileId) {
    access_.write([&](Sql& sql) {
        const std::string now = localTimestamp();
        {
            auto st = sql.query(
                "UPDATE collections SET completed = ?2"
                " WHERE id = (SELECT current_collection FROM profiles WHERE id = ?1)");
            st->bind(1, profileId).bind(2, std::string_view(now)).run();
        }
        auto st = sql.query("UPDATE profiles SET run_completed = ?2, last_update = ?2 WHERE id = ?1");
        st->bind(1, profileId).bind(2, std::string_view(now)).run();
    });
}

std::vector<Item> Inventory::items(std::int64_t profileId) {
    return access_.read([&](Sql& sql) {
        if (const auto current = currentCollection(sql, profileId)) {
            auto st = sql.query(
                "SELECT seq, category, text, config_date FROM collected_items WHERE collection_id = ?1 ORDER BY seq");
            st->bind(1, *current);
            return readItems(st);
        }
        auto st = sql.query(
            "SELECT seq, category, text, config_date FROM collected_items WHERE profile_id = ?1 AND collection_id IS NULL"
            " ORDER BY seq");
        st->bind(1, profileId);
        return readItems(st);
    });
}

std::vector<Collection> Inventory::collections(std::int64_t profileId) {
    return access_.read([&](Sql& sql) {
        auto st = sql.query(
            "SELECT c.id, c.started, c.completed, (SELECT count(*) FROM collected_items i WHERE i.collection_id = c.id)"
            " FROM collections c WHERE c.profile_id = ?1 ORDER BY c.id DESC");
        st->bind(1, profileId);
        std::vector<Collection> out;
        while (st->step()) out.push_back(Collection{st->integer(0), st->text(1), st->optionalText(2), st->integer(3)});
        return out;
    });
}

std::vector<Item> Inventory::collectionItems(std::int64_t profileId, std::int64_t collectionId) {
    return access_.read([&](Sql& sql) {
        auto st = sql.query(
            "SELECT i.seq, i.category, i.text, i.config_date FROM collected_items i JOIN collections c ON c.id = i.collection_id"
            " WHERE c.id = ?1 AND c.profile_id = ?2 ORDER BY i.seq");
        st->bind(1, collectionId).bind(2, profileId);
        return readItems(st);
    });
}

}  // namespace dataservice
