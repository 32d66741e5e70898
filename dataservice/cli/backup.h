#pragma once
// A consistent copy of a live SQLite database, made while the service goes on storing.
#include <string>

namespace dataservice::cli {

// Copies the SQLite database `source` to `out`: through a temporary file beside `out`, checked
// with integrity_check, then renamed over it. On PostgreSQL, says to use pg_dump. Returns the
// exit status (0 done, 1 failed, 2 not for this engine).
int backup(const std::string& source, const std::string& out);

}  // namespace dataservice::cli
