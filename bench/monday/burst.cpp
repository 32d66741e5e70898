#include "bench/monday/burst.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>

#include "bench/load/generator.h"
#include "bench/load/targets.h"
#include "bench/load/workloads.h"
#include "dataservice/db/database.h"

namespace monday {
namespace {

using load::Clock;

// One connection's machine: which, how far in its run, since when its current request is tried.
struct Machine {
    int index = -1;
    int step = 0;  // 0 the account check, 1 the reset, then the uploads, then the closing request
    bool broken = false;
    Clock::time_point firstTry, firstCheck;
    bool again = false;  // the current request is to be sent again
};

class Burst {
public:
    Burst(const Options& o, const std::vector<load::Account>& accounts, BurstFigures& f)
        : o_(o), accounts_(accounts), f_(f), machines_(static_cast<std::size_t>(o.arrive)), random_(29) {}

    std::optional<std::string> next(int c) {
        Machine& m = machines_[static_cast<std::size_t>(c)];
        if (m.index < 0 || m.step > o_.items + 2 || m.broken) {
            if (nextMachine_ >= o_.machines) return std::nullopt;
            m = Machine{nextMachine_++};
        }
        if (!m.again) m.firstTry = Clock::now();
        if (m.step == 0 && !m.again) m.firstCheck = m.firstTry;
        m.again = false;
        const load::Account& a = accounts_[static_cast<std::size_t>(m.index)];
        if (m.step == 0) return load::accountCheckTarget(a);
        if (m.step == 1) return load::resetTarget(a);
        if (m.step <= o_.items + 1) return load::uploadTarget(a, "Program " + std::to_string(m.step - 2) + " of machine " + std::to_string(m.index));
        return load::finalizeTarget(a);
    }

    Clock::duration onReply(int c, const load::Reply& r) {
        Machine& m = machines_[static_cast<std::size_t>(c)];
        if (m.step == 0) f_.checkUs.push_back(r.latencyUs);
        else f_.longestOtherUs = std::max(f_.longestOtherUs, r.latencyUs);
        const double jitter = std::uniform_real_distribution<double>(0, 1)(random_);
        if (const auto wait = load::busyWait(r, o_.retryCap, jitter)) return comeBack(m, r, *wait);
        if (r.status == 200) return advance(m), Clock::duration::zero();
        ++f_.failed;
        if (m.step >= 2 && m.step <= o_.items + 1) {
            ++f_.notSent;  // the collector skips an upload that failed
            advance(m);
        } else {
            m.broken = true;  // no account, no reset or no close: the run is not complete
        }
        return Clock::duration::zero();
    }

private:
    void advance(Machine& m) {
        if (m.step == 0) {
            ++f_.checks;
            f_.acceptedUs.push_back(static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m.firstCheck).count()));
        }
        if (++m.step > o_.items + 2) ++f_.completed;
    }

    // Waits the advised time, capped, with jitter; gives up once the request has been tried too long.
    Clock::duration comeBack(Machine& m, const load::Reply& r, double wait) {
        ++(r.status == 503 ? f_.busy : f_.limited);
        f_.advised.push_back(r.retryAfter);
        if (Clock::now() + load::toDuration(wait) - m.firstTry > load::toDuration(o_.retryLimit)) {
            ++f_.gaveUp;
            m.broken = true;
            return Clock::duration::zero();
        }
        ++f_.retries;
        m.again = true;
        return load::toDuration(wait);
    }

    const Options& o_;
    const std::vector<load::Account>& accounts_;
    BurstFigures& f_;
    std::vector<Machine> machines_;
    int nextMachine_ = 0;
    std::mt19937 random_;
};

}  // namespace

double percentileMs(std::vector<std::uint32_t> us, double p) {
    if (us.empty()) return 0;
    const std::size_t k = std::min(us.size() - 1, static_cast<std::size_t>(p * static_cast<double>(us.size())));
    std::nth_element(us.begin(), us.begin() + static_cast<std::ptrdiff_t>(k), us.end());
    return us[k] / 1000.0;
}

BurstFigures runBurst(const Options& o, const std::string& db) {
    BurstFigures f;
    f.machines = o.machines;
    const auto accounts = load::makeAccounts(o.machines);
    load::Options lo;
    lo.service = o.service;
    load::addAccounts(lo, db, accounts);
    // A fresh process: no password is remembered yet.
    load::Service service(o.service, db, {"--metrics-listen", "127.0.0.1:0"});
    Burst burst(o, accounts, f);
    load::Generator generator(service.port(), o.arrive, load::toDuration(o.timeout));
    generator.setOnReply([&](int c, const load::Reply& r) { return burst.onReply(c, r); });
    // PostgreSQL's own share, on that engine only (every postgres process on the machine).
    const bool postgres = dataservice::db::isPostgresTarget(db);
    const double cpu = service.cpuSeconds(), pg = postgres ? load::postgresCpuSeconds() : 0;
    const load::LoadResult result = generator.run([&](int c) { return burst.next(c); }, [](int, bool) {},
                                                  load::toDuration(o.runLimit));
    f.seconds = result.seconds;
    f.serviceCpu = service.cpuSeconds() - cpu;
    f.postgresCpu = postgres ? load::postgresCpuSeconds() - pg : 0;
    f.refusedByService = service.metric("vantrel_password_checks_refused_total").value_or(-1);
    f.commits = service.metric("vantrel_store_commit_batch_size_count").value_or(0);
    f.committed = service.metric("vantrel_store_commit_batch_size_sum").value_or(0);
    f.checksRun = service.metric("vantrel_password_checks_total").value_or(0);
    f.checkCpu = service.metric("vantrel_password_check_cpu_seconds_total").value_or(0);
    service.stop();
    return f;
}

}  // namespace monday
