#include "bench/monday/database.h"

#include <stdexcept>

#include "dataservice/db/database.h"

namespace monday {
namespace {

std::int64_t single(const std::string& target, const std::string& sql) {
    auto connection = dataservice::db::open(target);
    auto st = connection->prepare(sql);
    if (!st->step()) throw std::runtime_error("no answer to " + sql);
    return st->integer(0);
}

}  // namespace

Database::Database(const Options& o, const std::filesystem::path& dir, const std::string& tag) {
    if (!dataservice::db::isPostgresTarget(o.dbUrl)) {
        target_ = (dir / (tag + ".db")).string();
        return;
    }
    // postgresql://host/NAME?options: the same server, a database of our own.
    base_ = o.dbUrl;
    const std::size_t query = base_.find('?');
    const std::size_t slash = base_.rfind('/', query);
    if (slash == std::string::npos || slash < base_.find("//") + 2) throw std::invalid_argument("--db-url names no database");
    const std::string suffix = query == std::string::npos ? "" : base_.substr(query);
    name_ = base_.substr(slash + 1, query - slash - 1) + "_monday_" + tag;
    target_ = base_.substr(0, slash + 1) + name_ + suffix;
    auto server = dataservice::db::open(base_);
    server->execute("DROP DATABASE IF EXISTS " + name_);
    server->execute("CREATE DATABASE " + name_);
}

Database::~Database() {
    if (base_.empty()) return;
    try {
        dataservice::db::open(base_)->execute("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (const std::exception&) {
    }
}

std::int64_t Database::bytes() const {
    if (postgres()) return single(target_, "SELECT pg_database_size(current_database())");
    std::int64_t total = 0;
    for (const char* part : {"", "-wal"}) {
        std::error_code error;
        const auto size = std::filesystem::file_size(target_ + part, error);
        if (!error) total += static_cast<std::int64_t>(size);
    }
    return total;
}

std::int64_t Database::items() const { return single(target_, "SELECT count(*) FROM collected_items"); }

}  // namespace monday
