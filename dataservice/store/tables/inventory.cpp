#include "dataservice/store/tables/inventory.h"

namespace dataservice {

void Inventory::reset(std::int64_t profileId) {
    access_.write([&](Sql& sql) {
        {
            auto st = sql.query("DELETE FROM items WHERE profile_id = ?1");
            st->bind(1, profileId).run();
        }
        auto st = sql.query("UPDATE profiles SET run_started = ?2, run_completed = NULL WHERE id = ?1");
        st->bind(1, profileId).bind(2, std::string_view(localTimestamp())).run();
    });
}

std::int64_t Inventory::add(std::int64_t profileId, const std::string& category, const std::string& text,
                            const std::optional<std::string>& configDate) {
    return access_.write([&](Sql& sql) {
        auto st = sql.insert("INSERT INTO items (profile_id, category, text, config_date) VALUES (?1, ?2, ?3, ?4)", "seq");
        return st->bind(1, profileId).bind(2, std::string_view(category)).bind(3, std::string_view(text))
            .bind(4, configDate).insert();
    });
}

void Inventory::addIfHolds(const std::string& name, const std::string& passwordHash, const std::string& category,
                           const std::string& text, const std::optional<std::string>& configDate) {
    access_.write([&](Sql& sql) {
        auto st = sql.query(
            "INSERT INTO items (profile_id, category, text, config_date)"
            " SELECT id, ?3, ?4, ?5 FROM profiles WHERE kind = 'subscriber' AND name = ?1 AND password_hash = ?2");
        st->bind(1, std::string_view(name)).bind(2, std::string_view(passwordHash)).bind(3, std::string_view(category))
            .bind(4, std::string_view(text)).bind(5, configDate).send();
    });
}

void Inventory::finalize(std::int64_t profileId) {
    access_.write([&](Sql& sql) {
        auto st = sql.query("UPDATE profiles SET run_completed = ?2, last_update = ?2 WHERE id = ?1");
        st->bind(1, profileId).bind(2, std::string_view(localTimestamp())).run();
    });
}

std::vector<Item> Inventory::items(std::int64_t profileId) {
    return access_.read([&](Sql& sql) {
        auto st = sql.query("SELECT seq, category, text, config_date FROM items WHERE profile_id = ?1 ORDER BY seq");
        st->bind(1, profileId);
        std::vector<Item> out;
        while (st->step()) out.push_back(Item{st->integer(0), st->text(1), st->text(2), st->optionalText(3)});
        return out;
    });
}

}  // namespace dataservice
