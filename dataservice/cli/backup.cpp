#include "dataservice/cli/backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "dataservice/db/database.h"

namespace dataservice::cli {
namespace {

// A new file beside `out` that nobody else can have made or read: a name of its own, created
// exclusively (never through a link) and readable by the owner alone, as the database is.
std::string privateTemporary(const std::string& out) {
    std::string name = out + ".partial-XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    const int fd = mkstemp(buf.data());
    if (fd < 0) throw std::runtime_error("cannot create a file beside " + out);
    fchmod(fd, S_IRUSR | S_IWUSR);
    close(fd);
    return std::string(buf.data());
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

int backup(const std::string& source, const std::string& out) {
    if (db::isPostgresTarget(source)) {
        std::cerr << "vantrel-dataservice: backup copies an SQLite database; for PostgreSQL use pg_dump "
                     "(pg_dump --format=custom --file=OUT DBNAME, restored with pg_restore)\n";
        return 2;
    }
    if (!std::filesystem::exists(source)) {
        std::cerr << "vantrel-dataservice: no database at " << source << "\n";
        return 1;
    }
    if (sameFile(source, out)) {
        std::cerr << "vantrel-dataservice: " << out << " is the database itself; back it up to another file\n";
        return 2;
    }
    std::string temp;
    try {
        temp = privateTemporary(out);
        db::copySQLite(source, temp);
        std::filesystem::rename(temp, out);
    } catch (const std::exception& e) {
        std::error_code ignored;
        if (!temp.empty()) std::filesystem::remove(temp, ignored);
        std::cerr << "vantrel-dataservice: backup failed: " << e.what() << "\n";
        return 1;
    }
    std::cout << "backed up " << source << " to " << out << "\n";
    return 0;
}

}  // namespace dataservice::cli
