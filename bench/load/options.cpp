#include "bench/load/options.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace load {

const char kUsage[] =
    "usage: bench_load [--service BIN] [--connections C] [--seconds S] [--rounds R] [--collectors N]\n"
    "                  [--items M] [--timeout S] [--run-timeout S] [--run-limit S]\n"
    "                  [--only service|bare|nginx[,...]] [--db-url postgresql://...] [--metrics]\n"
    "                  [--processes P]\n"
    "\n"
    "Drives C kept-alive connections of back-to-back sftdata.asp uploads for S seconds against the\n"
    "data service, a bare libmicrohttpd endpoint and nginx, taking turns in R rounds of S/R seconds,\n"
    "then N simulated collectors making a whole run of M items each against the service, and checks\n"
    "what it stored. --metrics starts the service with its metrics listener on, which is what makes\n"
    "it count requests and commits, and prints the writer's batches. --processes starts P service\n"
    "processes on the one database and spreads the connections over them, in one window. On\n"
    "PostgreSQL it also prints the database server's processor time per upload.\n";

bool wants(const Options& o, const std::string& target) { return o.only.empty() || o.only.count(target) > 0; }

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
            return argv[++i];
        };
        const auto number = [&](double low, double high) {
            const std::string text = value();
            char* end = nullptr;
            const double n = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(n >= low && n <= high))
                throw std::invalid_argument(arg + " needs a number from " + std::to_string(low) + " to " +
                                            std::to_string(high));
            return n;
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else if (arg == "--service") {
            o.service = value();
        } else if (arg == "--db-url") {
            o.dbUrl = value();
        } else if (arg == "--metrics") {
            o.metrics = true;
        } else if (arg == "--processes") {
            o.processes = static_cast<int>(number(1, 8));
        } else if (arg == "--connections") {
            o.connections = static_cast<int>(number(1, 5000));
        } else if (arg == "--seconds") {
            o.seconds = number(0.1, 600);
        } else if (arg == "--rounds") {
            o.rounds = static_cast<int>(number(1, 100));
        } else if (arg == "--collectors") {
            o.collectors = static_cast<int>(number(0, 5000));
        } else if (arg == "--items") {
            o.items = static_cast<int>(number(1, 1000000));
        } else if (arg == "--timeout") {
            o.timeout = number(0.01, 600);
        } else if (arg == "--run-timeout") {
            o.runTimeout = number(0.01, 600);
        } else if (arg == "--run-limit") {
            o.runLimit = number(1, 3600);
        } else if (arg == "--only") {
            std::stringstream list(value());
            for (std::string t; std::getline(list, t, ',');) {
                if (t != "service" && t != "bare" && t != "nginx")
                    throw std::invalid_argument("--only takes service, bare or nginx, not " + t);
                o.only.insert(t);
            }
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
    if (wants(o, "service") && o.service.empty())
        throw std::invalid_argument("the service binary was not built; name it with --service");
    if (wants(o, "service") && ::access(o.service.c_str(), X_OK) != 0)
        throw std::invalid_argument("cannot run the service binary " + o.service);
    return o;
}

}  // namespace load
