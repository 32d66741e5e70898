#include "dataservice/store/tables/versions.h"

namespace dataservice {

void Versions::allowIn(Sql& sql, const Version& v) {
    auto st = sql.query("INSERT INTO allowed_versions (major, minor, rev) VALUES (?1, ?2, ?3) ON CONFLICT DO NOTHING");
    st->bind(1, v.major).bind(2, v.minor).bind(3, v.rev).run();
}

void Versions::allow(const Version& v) {
    access_.write([&](Sql& sql) { allowIn(sql, v); });
}

bool Versions::disallow(const Version& v) {
    return access_.write([&](Sql& sql) {
        auto st = sql.query("DELETE FROM allowed_versions WHERE major = ?1 AND minor = ?2 AND rev = ?3");
        st->bind(1, v.major).bind(2, v.minor).bind(3, v.rev).run();
        return st->changes() > 0;
    });
}

bool Versions::isAllowed(const Version& v) {
    return access_.read([&](Sql& sql) {
        auto st = sql.query("SELECT 1 FROM allowed_versions WHERE major = ?1 AND minor = ?2 AND rev = ?3");
        return st->bind(1, v.major).bind(2, v.minor).bind(3, v.rev).step();
    });
}

std::vector<Version> Versions::all() {
    return access_.read([&](Sql& sql) {
        auto st = sql.query("SELECT major, minor, rev FROM allowed_versions ORDER BY major, minor, rev");
        std::vector<Version> out;
        while (st->step()) out.push_back(Version{st->integer(0), st->integer(1), st->integer(2)});
        return out;
    });
}

}  // namespace dataservice
