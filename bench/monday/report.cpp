#include "bench/monday/report.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <thread>

namespace monday {
namespace {

constexpr double kFleet = 100000;
constexpr double kFleetItems = 1100;

void printProjection(const Options& o, double derivation, double rest, double postgres) {
    // Per request, the account check, the reset and the close counted as uploads.
    const double requests = o.items + 3, fleetRequests = kFleetItems + 3;
    const double cores = std::max(1u, std::thread::hardware_concurrency());
    const double perRun = derivation + (rest + postgres) / requests * fleetRequests;
    std::printf("  projection, %.0f machines x %.0f items on these %.0f cores: %.2f s of processor a run "
                "(derivation %.0f ms), %.1f runs/s, %.1f h for the fleet\n",
                kFleet, kFleetItems, cores, perRun, derivation * 1e3, cores / perRun, kFleet * perRun / cores / 3600);
}

}  // namespace

void printBurst(const std::string& engine, const Options& o, const BurstFigures& f, double aloneSeconds) {
    const double cores = std::max(1u, std::thread::hardware_concurrency());
    const double runs = std::max(1, f.completed);
    const double rate = f.seconds > 0 ? f.completed / f.seconds : 0;
    // What a derivation cost where it ran, beside the burst's other work (the service's own
    // count); timed alone, it is cheaper than the service can ever make it.
    const double derivationSeconds = f.checksRun > 0 ? f.checkCpu / f.checksRun : aloneSeconds;
    const double allowed = cores / derivationSeconds;
    std::printf("burst on %s: %d machines x %d items, %d at once, cold checks; one derivation %.0f ms in the service"
                " (%.0f ms timed alone here)\n",
                engine.c_str(), o.machines, o.items, o.arrive, derivationSeconds * 1e3, aloneSeconds * 1e3);
    std::printf("  %.2f runs/s (%d of %d completed in %.1f s); the cores allow %.2f for the derivation alone (%.2f of it);"
                " the service used %.0f%% of the cores\n",
                rate, f.completed, f.machines, f.seconds, allowed, rate / allowed,
                f.seconds > 0 ? f.serviceCpu * 100 / (f.seconds * cores) : 0);
    std::printf("  account check answered: p50 %.0f ms, p99 %.0f ms, longest %.0f ms; accepted after (retries included):"
                " p50 %.0f ms, p99 %.0f ms; longest answer to any other request %.0f ms\n",
                percentileMs(f.checkUs, 0.5), percentileMs(f.checkUs, 0.99), percentileMs(f.checkUs, 1.0),
                percentileMs(f.acceptedUs, 0.5), percentileMs(f.acceptedUs, 0.99), f.longestOtherUs / 1000.0);
    if (!f.advised.empty())
        std::printf("  Retry-After advised: mean %.1f s, longest %.0f s\n",
                    std::accumulate(f.advised.begin(), f.advised.end(), 0.0) / static_cast<double>(f.advised.size()),
                    *std::max_element(f.advised.begin(), f.advised.end()));
    std::printf("  busy refusals %llu (the service counted %.0f), sign-in limited %llu, retries %llu, gave up %llu, "
                "other failures %llu, uploads not sent %llu\n",
                static_cast<unsigned long long>(f.busy), f.refusedByService, static_cast<unsigned long long>(f.limited),
                static_cast<unsigned long long>(f.retries), static_cast<unsigned long long>(f.gaveUp),
                static_cast<unsigned long long>(f.failed), static_cast<unsigned long long>(f.notSent));
    const double derivation = f.checksRun > 0 ? f.checkCpu / runs : derivationSeconds * static_cast<double>(f.checks) / runs;
    const double rest = std::max(0.0, f.serviceCpu / runs - derivation), postgres = f.postgresCpu / runs;
    std::printf("  service processor time per run: %.0f ms = key derivation %.0f ms + the rest %.1f ms (%.0f us a request)",
                f.serviceCpu / runs * 1e3, derivation * 1e3, rest * 1e3, rest / (o.items + 3) * 1e6);
    if (f.postgresCpu > 0) std::printf("; PostgreSQL %.1f ms", postgres * 1e3);
    if (f.commits > 0)
        std::printf("; %.0f commits a run, %.1f requests a commit", f.commits / runs, f.committed / f.commits);
    std::printf("\n");
    printProjection(o, derivation, rest, postgres);
    std::fflush(stdout);
}

void printGrowth(const std::string& engine, const Options& o, const GrowthFigures& fresh, const GrowthFigures& grown) {
    std::printf("growth on %s: fresh %lld items, grown %lld (filled in %.0f s); a profile of %d items a collection\n",
                engine.c_str(), static_cast<long long>(fresh.items), static_cast<long long>(grown.items),
                grown.fillSeconds, o.profileItems);
    const auto row = [](const char* what, double a, double b, const char* unit) {
        std::printf("  %-34s %10.1f %10.1f %s   grown/fresh %.2f\n", what, a, b, unit, a > 0 ? b / a : 0);
    };
    row("uploads/s (20 connections)", fresh.uploadsPerSecond, grown.uploadsPerSecond, "/s");
    double low = 1e9, high = 0;
    for (std::size_t k = 0; k < std::min(fresh.roundRates.size(), grown.roundRates.size()); ++k)
        if (fresh.roundRates[k] > 0) {
            low = std::min(low, grown.roundRates[k] / fresh.roundRates[k]);
            high = std::max(high, grown.roundRates[k] / fresh.roundRates[k]);
        }
    if (high > 0) std::printf("  %-34s %.2f-%.2f over the turns\n", "uploads grown/fresh", low, high);
    row("reset, median of 4", fresh.resetMs, grown.resetMs, "ms");
    row("reset with a prune, median of 4", fresh.pruneMs, grown.pruneMs, "ms");
    row("signed-in page, median of 4", fresh.pageMs, grown.pageMs, "ms");
    row("page size", fresh.pageBytes / 1e3, grown.pageBytes / 1e3, "kB");
    row("bytes per item on disk", static_cast<double>(fresh.bytes) / std::max<std::int64_t>(1, fresh.items),
        static_cast<double>(grown.bytes) / std::max<std::int64_t>(1, grown.items), "B");
    std::fflush(stdout);
}

}  // namespace monday
