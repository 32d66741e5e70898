#include "bench/monday/options.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>

namespace monday {

const char kUsage[] =
    "usage: bench_monday [--service BIN] [--db-url postgresql://...] [--machines N] [--arrive C]\n"
    "                    [--items M] [--timeout S] [--retry-cap S] [--retry-limit S] [--run-limit S]\n"
    "                    [--grow-items G] [--profile-items I] [--upload-seconds S] [--only burst|growth]\n"
    "                    [--explain]\n"
    "\n"
    "Burst: N subscribers (600,000-iteration hashes), each making one whole run of M uploads\n"
    "against a fresh service process (cold checks), C of them at once; 503/429 with Retry-After\n"
    "are waited out (capped, with jitter) and tried again. Growth: uploads, a reset, a prune and\n"
    "the signed-in page of an I-item profile on a fresh database and on one grown to G items.\n"
    "--explain prints the query plans of the timed statements on the grown database.\n"
    "--db-url: a PostgreSQL server on which the benchmark makes (and drops) databases of its own.\n";

namespace {

double number(const std::string& arg, const std::string& text, double low, double high) {
    char* end = nullptr;
    const double n = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(n >= low && n <= high))
        throw std::invalid_argument(arg + " takes a number from " + std::to_string(low) + " to " + std::to_string(high));
    return n;
}

}  // namespace

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (arg == "--explain") {
            o.explain = true;
            continue;
        }
        if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
        const std::string v = argv[++i];
        if (arg == "--service") o.service = v;
        else if (arg == "--db-url") o.dbUrl = v;
        else if (arg == "--machines") o.machines = static_cast<int>(number(arg, v, 1, 1e6));
        else if (arg == "--arrive") o.arrive = static_cast<int>(number(arg, v, 1, 10000));
        else if (arg == "--items") o.items = static_cast<int>(number(arg, v, 0, 1e6));
        else if (arg == "--timeout") o.timeout = number(arg, v, 0.1, 3600);
        else if (arg == "--retry-cap") o.retryCap = number(arg, v, 0, 3600);
        else if (arg == "--retry-limit") o.retryLimit = number(arg, v, 0, 36000);
        else if (arg == "--run-limit") o.runLimit = number(arg, v, 1, 36000);
        else if (arg == "--grow-items") o.growItems = static_cast<int>(number(arg, v, 0, 1e9));
        else if (arg == "--profile-items") o.profileItems = static_cast<int>(number(arg, v, 1, 1e6));
        else if (arg == "--upload-seconds") o.uploadSeconds = number(arg, v, 0.5, 600);
        else if (arg == "--only" && (v == "burst" || v == "growth")) o.burst = v == "burst", o.growth = v == "growth";
        else throw std::invalid_argument("unknown option " + arg + " " + v);
    }
    if (o.arrive > o.machines) o.arrive = o.machines;
    return o;
}

}  // namespace monday
