#include "dataservice/db/database.h"

namespace dataservice::db {

bool isPostgresTarget(std::string_view target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Connection> open(const std::string& target) {
    return isPostgresTarget(target) ? openPostgres(target) : openSQLite(target);
}

std::unique_ptr<Connection> openForReading(const std::string& target) {
    if (target.empty() || target == ":memory:" || target.rfind("file::memory:", 0) == 0) return nullptr;
    return open(target);
}

}  // namespace dataservice::db

namespace dataservice::db {

namespace embedded {
extern const std::string_view kSqliteSchema, kSqliteSchemaV1, kSqliteMigrationV2, kSqliteMigrationV3,
    kSqliteMigrationV4, kPostgresSchema, kPostgresSchemaV2, kPostgresMigrationV3, kPostgresMigrationV4;
}

std::string_view schema(Engine engine) {
    return engine == Engine::PostgreSQL ? embedded::kPostgresSchema : embedded::kSqliteSchema;
}

std::string_view migrationFrom(Engine engine, std::int64_t from) {
    using namespace embedded;
    const bool pg = engine == Engine::PostgreSQL;
    switch (from) {
        case 1: if (!pg) return kSqliteMigrationV2; break;
        case 2: return pg ? kPostgresMigrationV3 : kSqliteMigrationV3;
        case 3: return pg ? kPostgresMigrationV4 : kSqliteMigrationV4;
        default: break;
    }
    throw StoreError("no migration from schema version " + std::to_string(from));
}

std::pair<std::int64_t, std::string_view> oldestSchema(Engine engine) {
    if (engine == Engine::PostgreSQL) return {2, embedded::kPostgresSchemaV2};
    return {1, embedded::kSqliteSchemaV1};
}

}  // namespace dataservice::db
