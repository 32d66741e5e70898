#pragma once
// The Monday benchmark's command line.
#include <string>

#include "tests/support/dataservice_process.h"

namespace monday {

struct Options {
    std::string service = process::dataServiceBinary();
    std::string dbUrl;        // empty: SQLite files in the temporary folder; else a postgresql:// server
    int machines = 60;        // distinct subscribers, each one whole run
    int arrive = 60;          // of them at once (connections)
    int items = 100;          // uploads of each run
    double timeout = 10;      // one request: the collector's own limit
    double retryCap = 10;     // longest wait for one Retry-After
    double retryLimit = 120;  // a request's retries give up after this long
    double runLimit = 600;    // the whole burst
    int growItems = 200000;   // items the grown database holds
    int profileItems = 1100;  // items of one collection
    double uploadSeconds = 8;  // each database's uploads, over four turns
    bool burst = true, growth = true;
    bool explain = false;  // the measured statements' query plans on the grown database
};

extern const char kUsage[];

// Throws std::invalid_argument for a wrong command line; prints the usage and exits for --help.
Options parseOptions(int argc, char** argv);

}  // namespace monday
