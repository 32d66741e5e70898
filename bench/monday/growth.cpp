#include "bench/monday/growth.h"

#include <httplib.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "bench/load/targets.h"
#include "bench/load/workloads.h"
#include "bench/monday/fill.h"
#include "bench/monday/signed_in.h"

namespace monday {
namespace {

using load::Clock;

constexpr int kUploaders = 20;
constexpr int kRepeats = 5;

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timedGetMs(httplib::Client& client, const std::string& target) {
    const auto began = Clock::now();
    const auto res = client.Get(target);
    if (!res || res->status != 200) throw std::runtime_error("no answer to " + target.substr(0, target.find('?')));
    return std::chrono::duration<double, std::milli>(Clock::now() - began).count();
}

// A profile's resets, each after the account check: their median.
double resetsMs(int port, const std::string& name) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    const load::Account a{name, kPassword};
    timedGetMs(client, load::accountCheckTarget(a));
    std::vector<double> took;
    for (int k = 0; k < kRepeats; ++k) took.push_back(timedGetMs(client, load::resetTarget(a)));
    return median(took);
}

double uploadRate(int port, const Options& o, const std::vector<load::Account>& uploaders) {
    load::Options lo;
    lo.connections = kUploaders;
    lo.timeout = o.timeout;
    // One at a time first: the service's queue would refuse checks beyond what its cores do in a second.
    httplib::Client client("127.0.0.1", port);
    for (const load::Account& a : uploaders) timedGetMs(client, load::accountCheckTarget(a));
    load::UploadLoad uploads("service", "uploads", {port}, lo, uploaders);
    if (uploads.warmUp() > 0) throw std::runtime_error("the uploaders' first uploads failed");
    return uploads.slice(o.uploadSeconds);
}

std::vector<ProfileShape> shapes(const Options& o, int growItems) {
    std::vector<ProfileShape> s;
    // The grown profiles first, as a fleet's older machines; every fourth keeps five collections.
    for (std::int64_t items = 0, p = 0; items < growItems; ++p) {
        s.push_back({"grown-" + std::to_string(p), p % 4 == 0 ? 5 : 1, o.profileItems});
        items += static_cast<std::int64_t>(s.back().collections) * o.profileItems;
    }
    s.push_back({"resetter", 1, o.profileItems});
    s.push_back({"pruner", 5, o.profileItems});  // its next resets drop a whole collection each
    s.push_back({"viewer", 2, o.profileItems});
    for (int u = 0; u < kUploaders; ++u) s.push_back({"uploader-" + std::to_string(u), 0, 0});
    return s;
}

}  // namespace

GrowthFigures measureGrowth(const Options& o, const Database& db, int growItems) {
    GrowthFigures f;
    const auto began = Clock::now();
    fillProfiles(db.target(), shapes(o, growItems));
    f.fillSeconds = std::chrono::duration<double>(Clock::now() - began).count();
    std::vector<load::Account> uploaders;
    for (int u = 0; u < kUploaders; ++u) uploaders.push_back({"uploader-" + std::to_string(u), kPassword});
    {
        load::Service service(o.service, db.target());
        f.uploadsPerSecond = uploadRate(service.port(), o, uploaders);
        f.resetMs = resetsMs(service.port(), "resetter");
        f.pruneMs = resetsMs(service.port(), "pruner");
        const PageTimes page = signedInPage(service.port(), "viewer", kPassword, kRepeats);
        f.pageMs = page.medianMs;
        f.pageBytes = page.bytes;
        service.stop();
    }
    f.items = db.items();
    f.bytes = db.bytes();
    return f;
}

}  // namespace monday
