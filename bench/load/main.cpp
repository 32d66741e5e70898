// Load on the reference data service as a provider with a fleet would put it: many collectors,
// each on a kept-alive connection, measured with one cheap generator (one thread, epoll) against
//   - the service itself, started from its binary on a fresh database;
//   - a bare libmicrohttpd endpoint answering the service's upload reply without any store;
//   - nginx answering the same bytes,
// so that the service's rate reads against the ceilings of this machine. The three take turns in
// short slices, so a change in the machine's pace during the run falls on all of them alike. The
// service also runs whole collection runs side by side, after which its database is checked item
// by item.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/load/common.h"
#include "bench/load/generator.h"
#include "bench/load/options.h"
#include "bench/load/report.h"
#include "bench/load/targets.h"
#include "bench/load/workloads.h"
#include "tests/support/scratch_dir.h"

namespace load {

namespace {

void onStopSignal(int) { gInterrupted = true; }

int runTargets(const Options& o) {
    ScratchDir tmp{"load"};
    const std::string body = uploadReply();
    // The collection runs get accounts of their own: uploads of the throughput workload that the
    // service still holds when that workload ends may land after a run's profile reset.
    const auto all = makeAccounts(o.connections + o.collectors);
    const std::vector<Account> accounts(all.begin(), all.begin() + o.connections);
    const std::vector<Account> subscribers(all.begin() + o.connections, all.end());
    bool sound = true;
    std::printf("%u cores; %d connections for %g s in %d rounds; %d collectors x %d items; generator: one thread, epoll\n",
                std::thread::hardware_concurrency(), o.connections, o.seconds, o.rounds, o.collectors, o.items);
    std::fflush(stdout);

    // Every target is up before the first slice; an idle one costs the others nothing.
    const std::string db = o.dbUrl.empty() ? (tmp.path() / "service.db").string() : o.dbUrl;
    std::vector<std::unique_ptr<Service>> services;
    std::unique_ptr<BareEndpoint> bare;
    std::unique_ptr<Nginx> nginx;
    std::vector<UploadLoad> loads;
    if (wants(o, "service")) {
        addAccounts(o, db, all);
        std::vector<int> ports;
        for (int p = 0; p < o.processes; ++p) {
            services.push_back(std::make_unique<Service>(
                o.service, db,
                o.metrics ? std::vector<std::string>{"--metrics-listen", "127.0.0.1:0"} : std::vector<std::string>{}));
            ports.push_back(services.back()->port());
        }
        loads.emplace_back("service",
                           "service, " + std::to_string(o.connections) + " connections" +
                               (o.processes > 1 ? " over " + std::to_string(o.processes) + " processes" : ""),
                           ports, o, accounts);
    }
    if (wants(o, "bare") && !gInterrupted) {
        bare = std::make_unique<BareEndpoint>(body);
        loads.emplace_back("bare", "bare libmicrohttpd, " + std::to_string(o.connections) + " connections", std::vector<int>{bare->port()}, o, accounts);
    }
    if (wants(o, "nginx") && !gInterrupted) {
        nginx = std::make_unique<Nginx>(tmp.path() / "nginx", body);
        loads.emplace_back("nginx", "nginx, " + std::to_string(o.connections) + " connections", std::vector<int>{nginx->port()}, o, accounts);
    }
    for (UploadLoad& load : loads)
        if (const std::uint64_t failed = gInterrupted ? 0 : load.warmUp())
            std::printf("note: %llu of the first uploads to %s (one per connection, not counted) failed\n",
                        static_cast<unsigned long long>(failed), load.name().c_str());

    // rates[round][target]; the processor time over the service's own slices: its processes',
    // PostgreSQL's (on this machine, else 0); the transactions its writers committed and the commits
    std::vector<std::vector<double>> rates;
    const bool service = !services.empty();
    const auto serviceSeconds = [&] {
        double s = 0;
        for (const auto& process : services) s += process->cpuSeconds();
        return s;
    };
    const auto committed = [&] {
        std::pair<double, double> sum{0, 0};
        for (const auto& process : services)
            if (const auto c = process->committed()) sum = {sum.first + c->first, sum.second + c->second};
        return sum;
    };
    double serviceCpu = 0, postgresCpu = 0, transactions = 0, commits = 0;
    for (int round = 0; round < o.rounds && !gInterrupted; ++round) {
        rates.emplace_back();
        for (std::size_t k = 0; k < loads.size() && !gInterrupted; ++k) {
            const bool isService = service && k == 0;
            const double before = isService ? serviceSeconds() : 0, pgBefore = isService ? postgresCpuSeconds() : 0;
            const auto committedBefore = isService ? committed() : std::pair<double, double>{};
            rates.back().push_back(loads[k].slice(o.seconds / o.rounds));
            if (!isService) continue;
            serviceCpu += serviceSeconds() - before;
            postgresCpu += postgresCpuSeconds() - pgBefore;
            const auto committedAfter = committed();
            transactions += committedAfter.first - committedBefore.first;
            commits += committedAfter.second - committedBefore.second;
        }
    }
    for (UploadLoad& load : loads) printLoad(load.name(), load.total());
    if (service && !loads.empty()) {
        LoadResult& t = loads[0].total();
        if (!t.firstBody.empty() && t.firstBody != body)
            std::printf("note: the service's upload reply differs from the fixed record set the ceilings answer\n");
        if (t.ok > 0)
            std::printf("service processor time per upload: %.1f us (its threads together)\n",
                        serviceCpu * 1e6 / static_cast<double>(t.ok));
        if (t.ok > 0 && postgresCpu > 0)
            std::printf("PostgreSQL server processor time per upload: %.1f us (every backend together)\n",
                        postgresCpu * 1e6 / static_cast<double>(t.ok));
        if (commits > 0)
            std::printf("writer's batches: %.1f transactions per commit (%.0f in %.0f commits)\n", transactions / commits,
                        transactions, commits);
    }
    // Each ratio over the whole time, and its range over the rounds.
    if (service && loads.size() > 1) {
        std::string line;
        for (std::size_t k = 1; k < loads.size(); ++k) {
            const double ceiling = loads[k].total().rate();
            if (ceiling <= 0) continue;
            double low = 1e9, high = 0;
            for (const auto& r : rates)
                if (r.size() > k && r[k] > 0) {
                    low = std::min(low, r[0] / r[k]);
                    high = std::max(high, r[0] / r[k]);
                }
            char ratio[128];
            std::snprintf(ratio, sizeof ratio, "%sservice/%s = %.2f (rounds %.2f-%.2f)", line.empty() ? "" : ", ",
                          loads[k].target().c_str(), loads[0].total().rate() / ceiling, low, high);
            line += ratio;
        }
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);

    if (service && o.collectors > 0 && !gInterrupted) {
        auto runs = collectionRuns(services.front()->port(), o, subscribers);
        for (const auto& process : services) process->stop();  // everything answered is committed; list-items then reads alone
        const Check check = checkProfiles(o, db, subscribers);
        printLoad("service, " + std::to_string(o.collectors) + " collectors x " + std::to_string(o.items) + " items", runs);
        std::printf("  %d runs in %.2f s: lost %llu, duplicated %llu, reordered %llu", o.collectors, runs.seconds,
                    static_cast<unsigned long long>(check.lost), static_cast<unsigned long long>(check.duplicated),
                    static_cast<unsigned long long>(check.reordered));
        if (check.foreign) std::printf(", %llu items not sent", static_cast<unsigned long long>(check.foreign));
        if (check.unreadable) std::printf(", %d profiles not listed", check.unreadable);
        std::printf("\n");
        std::fflush(stdout);
        sound = check.lost == 0 && check.duplicated == 0 && check.reordered == 0 && check.foreign == 0 &&
                check.unreadable == 0 && !gInterrupted;
    }
    if (gInterrupted) return 130;
    return sound ? 0 : 1;
}

}  // namespace
}  // namespace load

int main(int argc, char** argv) {
    using namespace load;
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;  // no SA_RESTART: waits return and the loops see the flag
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    try {
        return runTargets(parseOptions(argc, argv));
    } catch (const std::invalid_argument& e) {
        std::cerr << "bench_load: " << e.what() << "\n\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "bench_load: " << e.what() << "\n";
        return gInterrupted ? 130 : 1;
    }
}
