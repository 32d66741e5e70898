#pragma once
// A database of the benchmark's own: an SQLite file in a scratch folder, or a database it makes
// on the PostgreSQL server of --db-url (and drops when done), so every measure starts fresh.
#include <cstdint>
#include <filesystem>
#include <string>

#include "bench/monday/options.h"

namespace monday {

class Database {
public:
    Database(const Options& o, const std::filesystem::path& dir, const std::string& tag);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& target() const { return target_; }
    bool postgres() const { return !base_.empty(); }
    // What it takes on disk (an SQLite file with its log; a PostgreSQL database's size).
    std::int64_t bytes() const;
    std::int64_t items() const;

private:
    std::string base_;  // the server's own database, to make and drop ours from
    std::string name_;
    std::string target_;
};

}  // namespace monday
