#include "dataservice/store/tables/signins.h"

#include <arpa/inet.h>

namespace dataservice {

void Sessions::create(const std::string& tokenHash, std::int64_t profileId, const std::string& csrfToken,
                      std::int64_t lifetimeSeconds) {
    access_.write([&](Sql& sql) {
        auto st = sql.query("INSERT INTO sessions (token_hash, profile_id, csrf_token, expires) VALUES (?1, ?2, ?3, ?4)");
        st->bind(1, std::string_view(tokenHash)).bind(2, profileId).bind(3, std::string_view(csrfToken))
            .bind(4, options_.clock() + lifetimeSeconds).run();
    });
}

std::optional<Session> Sessions::find(const std::string& tokenHash) {
    return access_.read([&](Sql& sql) -> std::optional<Session> {
        auto st = sql.query(
            "SELECT s.profile_id, s.csrf_token, s.expires FROM sessions s JOIN profiles p ON p.id = s.profile_id"
            " WHERE s.token_hash = ?1 AND s.expires > ?2"
            " AND (p.kind = 'subscriber' OR p.last_activity >= ?3)");
        const std::int64_t now = options_.clock();
        if (!st->bind(1, std::string_view(tokenHash)).bind(2, now).bind(3, now - options_.evaluationLifetimeSeconds)
                 .step())
            return std::nullopt;
        return Session{st->integer(0), st->text(1), st->integer(2)};
    });
}

void Sessions::end(const std::string& tokenHash) {
    access_.write([&](Sql& sql) {
        auto st = sql.query("DELETE FROM sessions WHERE token_hash = ?1");
        st->bind(1, std::string_view(tokenHash)).run();
    });
}

int Sessions::purgeEnded(int limit) {
    return access_.write([&](Sql& sql) {
        auto st = sql.query(
            "DELETE FROM sessions WHERE token_hash IN (SELECT token_hash FROM sessions WHERE expires <= ?1 ORDER BY expires LIMIT ?2)");
        st->bind(1, options_.clock()).bind(2, static_cast<std::int64_t>(limit)).run();
        return static_cast<int>(st->changes());
    });
}

std::string addressKey(const std::string& address) {
    in6_addr a{};
    if (address.find(':') == std::string::npos || inet_pton(AF_INET6, address.c_str(), &a) != 1) return address;
    if (IN6_IS_ADDR_V4MAPPED(&a)) return address.substr(address.rfind(':') + 1);
    std::fill(a.s6_addr + 8, a.s6_addr + 16, 0);
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &a, text, sizeof text);
    return std::string(text) + "/64";
}

bool SignInCounters::allowed(const std::string& account, const std::string& address, const SignInLimits& limits) {
    return access_.read([&](Sql& sql) {
        auto st = sql.query(
            "SELECT COALESCE(MAX(CASE WHEN scope = 'account' THEN failures - ?3 END), -1),"
            " COALESCE(MAX(CASE WHEN scope = 'address' THEN failures - ?4 END), -1)"
            " FROM signin_failures WHERE window_start >= ?5"
            " AND ((scope = 'account' AND key = ?1) OR (scope = 'address' AND key = ?2))");
        st->bind(1, std::string_view(account))
            .bind(2, std::string_view(addressKey(address)))
            .bind(3, static_cast<std::int64_t>(limits.perAccount))
            .bind(4, static_cast<std::int64_t>(limits.perAddress))
            .bind(5, options_.clock() - limits.windowSeconds);
        if (!st->step()) return true;
        return st->integer(0) < 0 && st->integer(1) < 0;
    });
}

void SignInCounters::recordFailure(const std::string& account, const std::string& address,
                                   const SignInLimits& limits) {
    access_.write([&](Sql& sql) {
        auto st = sql.query(
            "INSERT INTO signin_failures (scope, key, window_start, failures) VALUES (?1, ?2, ?3, 1)"
            " ON CONFLICT (scope, key) DO UPDATE SET"
            " failures = CASE WHEN signin_failures.window_start < ?4 THEN 1 ELSE signin_failures.failures + 1 END,"
            " window_start = CASE WHEN signin_failures.window_start < ?4 THEN ?3 ELSE signin_failures.window_start END");
        const std::int64_t t = options_.clock();
        // An empty name is no account: the evaluation pages count against the address alone.
        if (!account.empty()) {
            st->bind(1, std::string_view("account")).bind(2, std::string_view(account)).bind(3, t)
                .bind(4, t - limits.windowSeconds).run();
            st->reset();
        }
        st->bind(1, std::string_view("address")).bind(2, std::string_view(addressKey(address))).bind(3, t)
            .bind(4, t - limits.windowSeconds).run();
    });
}

void SignInCounters::recordUnknownName(const std::string& name, const std::string& address,
                                       const SignInLimits& limits) {
    const bool first = access_.write([&](Sql& sql) {
        auto st = sql.query(
            "INSERT INTO signin_failures (scope, key, window_start, failures) VALUES ('address', ?1, ?2, 1)"
            " ON CONFLICT (scope, key) DO UPDATE SET window_start = ?2, failures = 1"
            " WHERE signin_failures.window_start < ?3");
        const std::int64_t t = options_.clock();
        // Under the address's scope, keyed apart from its own counter by the name after a blank.
        st->bind(1, std::string_view(addressKey(address) + " asked " + name)).bind(2, t).bind(3, t - limits.windowSeconds).run();
        return st->changes() > 0;
    });
    if (first) recordFailure("", address, limits);
}

void SignInCounters::clear(const std::string& account) {
    access_.write([&](Sql& sql) {
        auto st = sql.query("DELETE FROM signin_failures WHERE scope = 'account' AND key = ?1");
        st->bind(1, std::string_view(account)).run();
    });
}

int SignInCounters::purgeStale(int limit) {
    return access_.write([&](Sql& sql) {
        // Windows are never longer than a day; older counters count nothing.
        auto st = sql.query(
            "DELETE FROM signin_failures WHERE (scope, key) IN"
            " (SELECT scope, key FROM signin_failures WHERE window_start < ?1 LIMIT ?2)");
        st->bind(1, options_.clock() - 24 * 3600).bind(2, static_cast<std::int64_t>(limit)).run();
        return static_cast<int>(st->changes());
    });
}

}  // namespace dataservice
