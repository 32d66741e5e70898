#pragma once
// The benchmark's command line.
#include <set>
#include <string>

#include "tests/support/dataservice_process.h"

namespace load {

struct Options {
    std::string service = process::dataServiceBinary();
    std::string dbUrl;  // empty: a fresh SQLite file in the temporary folder
    bool metrics = false;  // the service serves (and so counts) its metrics
    int processes = 1;     // service processes on the one database, the connections spread over them
    int connections = 50;
    double seconds = 10;
    int rounds = 5;           // the targets take turns this many times within `seconds` each
    int collectors = 50;
    int items = 500;
    double timeout = 5;       // one request of the throughput workload
    double runTimeout = 60;   // one request of a collection run: the collector's own limit
    double runLimit = 300;    // the whole correctness workload
    std::set<std::string> only;  // empty: every target
};

extern const char kUsage[];

bool wants(const Options& o, const std::string& target);

// Throws std::invalid_argument for a wrong command line; prints the usage and exits for --help.
Options parseOptions(int argc, char** argv);

}  // namespace load
