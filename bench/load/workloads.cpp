#include "bench/load/workloads.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "platform/common/text.h"

#include "tests/support/dataservice_process.h"

namespace load {
namespace {

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a command to its end (bounded by `limit`), keeping its standard output.
CommandResult runCommand(const std::vector<std::string>& argv, Clock::duration limit = 60s) {
    process::Options options;
    options.interrupted = &gInterrupted;
    process::Child child(argv, options);
    CommandResult r;
    const auto until = Clock::now() + limit;
    r.output = child.readAll(limit);
    r.status = child.wait(std::max<Clock::duration>(until - Clock::now(), 1s));
    return r;
}

std::string itemText(int collector, int item) {
    return "Program " + std::to_string(item) + " of collector " + std::to_string(collector);
}

// How many of `order` are out of place: all but a longest increasing run of them.
std::uint64_t outOfOrder(const std::vector<int>& order) {
    std::vector<int> tails;
    for (const int v : order) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), v);
        if (at == tails.end()) tails.push_back(v);
        else *at = v;
    }
    return order.size() - tails.size();
}

}  // namespace

std::vector<Account> makeAccounts(int count) {
    const std::string run = std::to_string(::getpid()) + "t" + std::to_string(std::time(nullptr) % 100000);
    std::vector<Account> accounts;
    for (int i = 0; i < count; ++i)
        accounts.push_back({"load" + run + "c" + std::to_string(i), "pass word " + std::to_string(i)});
    return accounts;
}

void addAccounts(const Options& o, const std::string& db, const std::vector<Account>& accounts) {
    for (std::size_t i = 0; i < accounts.size() && !gInterrupted;) {
        const std::size_t n = i == 0 ? 1 : 2;
        std::vector<std::unique_ptr<process::Child>> batch;
        process::Options quiet;
        quiet.captureOutput = false;
        for (std::size_t k = i; k < std::min(accounts.size(), i + n); ++k)
            batch.push_back(std::make_unique<process::Child>(
                std::vector<std::string>{o.service, "--db", db, "add-account", accounts[k].name, accounts[k].password},
                quiet));
        for (auto& child : batch)
            if (child->wait(60s) != 0) throw std::runtime_error("add-account failed for " + accounts[i].name);
        i += n;
    }
}

std::string urlEncode(const std::string& text) { return text::PercentEncode(text); }

std::optional<double> busyWait(const Reply& r, double cap, double jitter) {
    if ((r.status != 503 && r.status != 429) || r.retryAfter < 0) return std::nullopt;
    return std::max(std::min(r.retryAfter, cap) * (1 + jitter / 4), 0.001);
}

namespace {

std::string who(const Account& a) { return "UID=" + urlEncode(a.name) + "&PWD=" + urlEncode(a.password); }

}  // namespace

std::string accountCheckTarget(const Account& a) { return "/getdata.asp?" + who(a); }

std::string resetTarget(const Account& a) {
    return "/updatedata.asp?" + who(a) + "&crDate=" + urlEncode("1/5/2024 10:00:00 AM") + "&luDate=" +
           urlEncode("3/7/2024 4:30:00 PM");
}

std::string finalizeTarget(const Account& a) { return "/finalize.asp?" + who(a); }

std::string uploadTarget(const Account& a, const std::string& item) {
    return "/sftdata.asp?UID=" + urlEncode(a.name) + "&qIS=" + urlEncode(item) + "&PWD=" + urlEncode(a.password);
}

LoadResult collectionRuns(int port, const Options& o, const std::vector<Account>& accounts) {
    std::vector<int> step(static_cast<std::size_t>(o.collectors), 0);
    std::vector<bool> again(step.size(), false);  // refused as busy: the same request once more
    const NextTarget next = [&](int c) -> std::optional<std::string> {
        const Account& a = accounts[static_cast<std::size_t>(c)];
        const int s = again[static_cast<std::size_t>(c)] ? step[static_cast<std::size_t>(c)] - 1
                                                         : step[static_cast<std::size_t>(c)]++;
        again[static_cast<std::size_t>(c)] = false;
        if (s == 0) return resetTarget(a);
        if (s <= o.items) return uploadTarget(a, itemText(c, s - 1));
        if (s == o.items + 1) return finalizeTarget(a);
        return std::nullopt;
    };
    Generator generator(port, o.collectors, toDuration(o.runTimeout));
    generator.setOnReply([&](int c, const Reply& r) {
        const auto wait = busyWait(r, kBusyCap, spread(c, o.collectors));
        again[static_cast<std::size_t>(c)] = wait.has_value();
        return wait ? toDuration(*wait) : Clock::duration::zero();
    });
    return generator.run(next, [](int, bool) {}, toDuration(o.runLimit));
}

Check checkProfiles(const Options& o, const std::string& db, const std::vector<Account>& accounts) {
    Check check;
    const auto until = Clock::now() + toDuration(o.runLimit);
    for (int c = 0; c < o.collectors; ++c) {
        const auto left = until - Clock::now();
        CommandResult listed;
        if (left > 0s && !gInterrupted)
            listed = runCommand({o.service, "--db", db, "list-items", accounts[static_cast<std::size_t>(c)].name},
                                std::min<Clock::duration>(left, 60s));
        if (listed.status != 0) {
            ++check.unreadable;
            check.lost += static_cast<std::uint64_t>(o.items);
            continue;
        }
        std::vector<int> seen(static_cast<std::size_t>(o.items), 0);
        std::vector<int> order;
        std::istringstream lines(listed.output);
        for (std::string line; std::getline(lines, line);) {
            int item = -1, collector = -1;
            if (line.rfind("Software\t", 0) != 0 ||
                std::sscanf(line.c_str() + 9, "Program %d of collector %d", &item, &collector) != 2)
                item = -1;
            if (item < 0 || item >= o.items || collector != c || line != "Software\t" + itemText(c, item)) {
                ++check.foreign;
                continue;
            }
            if (seen[static_cast<std::size_t>(item)]++ == 0) order.push_back(item);
        }
        for (const int n : seen) {
            if (n == 0) ++check.lost;
            if (n > 1) check.duplicated += static_cast<std::uint64_t>(n - 1);
        }
        check.reordered += outOfOrder(order);
    }
    return check;
}

}  // namespace load
