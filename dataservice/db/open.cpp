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
extern const std::string_view kSqliteSchemaV1, kSqliteMigrationV2, kSqliteMigrationV3, kPostgresSchemaV2,
    kPostgresMigrationV3;
}

std::string_view sqliteSchemaV1() { return embedded::kSqliteSchemaV1; }
std::string_view sqliteMigrationV2() { return embedded::kSqliteMigrationV2; }
std::string_view postgresSchemaV2() { return embedded::kPostgresSchemaV2; }
std::string_view sqliteMigrationV3() { return embedded::kSqliteMigrationV3; }
std::string_view postgresMigrationV3() { return embedded::kPostgresMigrationV3; }

}  // namespace dataservice::db
