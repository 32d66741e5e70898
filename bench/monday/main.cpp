// A fleet's Monday morning on the reference data service: distinct machines, each one whole run
// whose first request meets a cold password check, many arriving at once; then what a database
// grown to millions of items costs the uploads, a reset, a prune and the signed-in page.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <numeric>
#include <thread>
#include <vector>
#include <stdexcept>

#include "bench/load/common.h"
#include "bench/monday/burst.h"
#include "bench/monday/database.h"
#include "bench/monday/explain.h"
#include "bench/monday/growth.h"
#include "bench/monday/options.h"
#include "bench/monday/report.h"
#include "dataservice/common/passwords.h"
#include "dataservice/common/work_pool.h"
#include "tests/support/scratch_dir.h"

namespace monday {
namespace {

void onStopSignal(int) { load::gInterrupted = true; }

// One key derivation at the accounts' iterations, in processor time, with every core deriving at
// once as the service's check threads do in a burst: the mean of each round, the least of three.
double derivationSeconds() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    double least = 1e9;
    for (int round = 0; round < 3; ++round) {
        std::vector<double> took(cores);
        std::vector<std::thread> threads;
        for (unsigned t = 0; t < cores; ++t)
            threads.emplace_back([&took, t] {
                const double began = dataservice::threadCpuSeconds();
                dataservice::hashPassword("monday", dataservice::kDefaultPasswordIterations);
                took[t] = dataservice::threadCpuSeconds() - began;
            });
        for (std::thread& t : threads) t.join();
        least = std::min(least, std::accumulate(took.begin(), took.end(), 0.0) / cores);
    }
    return least;
}

int run(const Options& o) {
    ScratchDir tmp{"monday"};
    const std::string engine = o.dbUrl.empty() ? "SQLite" : "PostgreSQL";
    if (o.burst && !load::gInterrupted) {
        const double derivation = derivationSeconds();
        const Database db(o, tmp.path(), "burst");
        printBurst(engine, o, runBurst(o, db.target()), derivation);
    }
    if (o.growth && !load::gInterrupted) {
        const Database freshDb(o, tmp.path(), "fresh"), grownDb(o, tmp.path(), "grown");
        const auto [fresh, grown] = measureGrowth(o, freshDb, grownDb);
        printGrowth(engine, o, fresh, grown);
        if (o.explain) printPlans(grownDb.target());
    }
    return load::gInterrupted ? 130 : 0;
}

}  // namespace
}  // namespace monday

int main(int argc, char** argv) {
    struct sigaction stop {};
    stop.sa_handler = monday::onStopSignal;  // no SA_RESTART: waits return and the loops see the flag
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    try {
        return monday::run(monday::parseOptions(argc, argv));
    } catch (const std::invalid_argument& e) {
        std::cerr << "bench_monday: " << e.what() << "\n\n" << monday::kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "bench_monday: " << e.what() << "\n";
        return load::gInterrupted ? 130 : 1;
    }
}
