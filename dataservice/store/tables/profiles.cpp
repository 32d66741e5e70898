#include "dataservice/store/tables/profiles.h"

namespace dataservice {
namespace {

const char* kindText(ProfileKind kind) { return kind == ProfileKind::Subscriber ? "subscriber" : "evaluation"; }

}  // namespace

bool Profiles::addAccount(const std::string& name, std::string_view password) {
    // Derive the key before the transaction: it is the slow part.
    const std::string hash = hashPassword(password, options_.passwordIterations);
    return access_.write([&](Sql& sql) {
        auto st = sql.query(
            "INSERT INTO profiles (kind, name, password_hash, created, last_update)"
            " VALUES ('subscriber', ?1, ?2, ?3, ?3) ON CONFLICT DO NOTHING");
        st->bind(1, std::string_view(name)).bind(2, std::string_view(hash)).bind(3, std::string_view(localTimestamp()))
            .run();
        return st->changes() > 0;
    });
}

bool Profiles::removeAccount(const std::string& name) {
    return access_.write([&](Sql& sql) {
        auto st = sql.query("DELETE FROM profiles WHERE kind = 'subscriber' AND name = ?1");
        st->bind(1, std::string_view(name)).run();
        return st->changes() > 0;
    });
}

std::optional<Credentials> Profiles::credentials(const std::string& name) {
    return access_.read([&](Sql& sql) -> std::optional<Credentials> {
        auto st = sql.query("SELECT id, password_hash FROM profiles WHERE kind = 'subscriber' AND name = ?1");
        if (!st->bind(1, std::string_view(name)).step()) return std::nullopt;
        return Credentials{st->integer(0), st->text(1)};
    });
}

std::optional<Profile> Profiles::find(ProfileKind kind, const std::string& name) {
    return access_.read([&](Sql& sql) -> std::optional<Profile> {
        auto st = sql.query(
            "SELECT id, created, last_update, run_started, run_completed FROM profiles WHERE kind = ?1 AND name = ?2"
            " AND (kind = 'subscriber' OR last_activity >= ?3)");
        if (!st->bind(1, std::string_view(kindText(kind))).bind(2, std::string_view(name)).bind(3, oldestLive()).step())
            return std::nullopt;
        return Profile{st->integer(0), kind, name, st->text(1), st->text(2), st->optionalText(3), st->optionalText(4)};
    });
}

std::optional<Profile> Profiles::subscriber(const std::string& name) { return find(ProfileKind::Subscriber, name); }

std::optional<Profile> Profiles::evaluation(const std::string& evalId) { return find(ProfileKind::Evaluation, evalId); }

std::optional<Profile> Profiles::named(const std::string& name) {
    if (auto p = subscriber(name)) return p;
    return evaluation(name);
}

std::optional<Profile> Profiles::byId(std::int64_t id) {
    const auto found = access_.read([&](Sql& sql) -> std::optional<std::pair<ProfileKind, std::string>> {
        auto st = sql.query("SELECT kind, name FROM profiles WHERE id = ?1");
        if (!st->bind(1, id).step()) return std::nullopt;
        return std::make_pair(st->text(0) == "subscriber" ? ProfileKind::Subscriber : ProfileKind::Evaluation,
                              st->text(1));
    });
    if (!found) return std::nullopt;
    return find(found->first, found->second);
}

std::vector<std::string> Profiles::accountNames() {
    return access_.read([&](Sql& sql) {
        auto st = sql.query("SELECT name FROM profiles WHERE kind = 'subscriber' ORDER BY name");
        std::vector<std::string> out;
        while (st->step()) out.push_back(st->text(0));
        return out;
    });
}

bool Profiles::registerEvaluation(const std::string& evalId) {
    return access_.write([&](Sql& sql) {
        // An expired identifier that was not purged yet is made anew, not revived with its items.
        auto old = sql.query("DELETE FROM profiles WHERE kind = 'evaluation' AND name = ?1 AND last_activity < ?2");
        old->bind(1, std::string_view(evalId)).bind(2, oldestLive()).run();
        auto st = sql.query(
            "INSERT INTO profiles (kind, name, created, last_update, last_activity)"
            " VALUES ('evaluation', ?1, ?2, ?2, ?3) ON CONFLICT (kind, name) DO NOTHING");
        st->bind(1, std::string_view(evalId)).bind(2, std::string_view(localTimestamp())).bind(3, options_.clock()).run();
        return st->changes() > 0;
    });
}

void Profiles::touchEvaluation(std::int64_t profileId) {
    access_.write([&](Sql& sql) {
        auto st = sql.query("UPDATE profiles SET last_activity = ?2 WHERE id = ?1 AND kind = 'evaluation'");
        st->bind(1, profileId).bind(2, options_.clock()).run();
    });
}

int Profiles::purgeExpiredEvaluations(int limit) {
    return access_.write([&](Sql& sql) {
        auto st = sql.query(
            "DELETE FROM profiles WHERE id IN (SELECT id FROM profiles"
            " WHERE kind = 'evaluation' AND last_activity < ?1 ORDER BY last_activity LIMIT ?2)");
        st->bind(1, oldestLive()).bind(2, static_cast<std::int64_t>(limit)).run();
        return static_cast<int>(st->changes());
    });
}

}  // namespace dataservice
