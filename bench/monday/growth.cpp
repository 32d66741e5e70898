#include "bench/monday/growth.h"

#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>
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
constexpr int kRepeats = 4;  // the resetter then has five collections: none dropped

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

std::vector<load::Account> uploaders() {
    std::vector<load::Account> out;
    for (int u = 0; u < kUploaders; ++u) out.push_back({"uploader-" + std::to_string(u), kPassword});
    return out;
}

// One database with its service, measured a turn at a time.
class Side {
public:
    Side(const Options& o, const Database& db, int growItems) : o_(o), db_(db) {
        const auto began = Clock::now();
        fillProfiles(db.target(), shapes(o, growItems));
        f_.fillSeconds = std::chrono::duration<double>(Clock::now() - began).count();
    }

    void start() {
        service_ = std::make_unique<load::Service>(o_.service, db_.target());
        client_ = std::make_unique<httplib::Client>("127.0.0.1", service_->port());
        client_->set_read_timeout(60, 0);
        lo_.connections = kUploaders;
        lo_.timeout = o_.timeout;
        // One at a time first: the service's queue would refuse checks beyond what its cores do in a second.
        for (const load::Account& a : uploaders_) timedGetMs(*client_, load::accountCheckTarget(a));
        for (const char* name : {"resetter", "pruner"}) timedGetMs(*client_, load::accountCheckTarget({name, kPassword}));
        uploads_ = std::make_unique<load::UploadLoad>("service", "uploads", std::vector<int>{service_->port()}, lo_, uploaders_);
        if (uploads_->warmUp() > 0) throw std::runtime_error("the uploaders' first uploads failed");
    }

    void uploadTurn(double seconds) { f_.roundRates.push_back(uploads_->slice(seconds)); }
    void resetTurn() { resets_.push_back(timedGetMs(*client_, load::resetTarget({"resetter", kPassword}))); }
    // Each of these resets drops one of the five collections the pruner kept.
    void pruneTurn() { prunes_.push_back(timedGetMs(*client_, load::resetTarget({"pruner", kPassword}))); }
    void pageTurn() {
        const PageTimes page = signedInPage(service_->port(), "viewer", kPassword, 1);
        pages_.push_back(page.medianMs);
        f_.pageBytes = page.bytes;
    }

    GrowthFigures finish() {
        f_.uploadsPerSecond = uploads_->total().rate();
        f_.resetMs = median(resets_);
        f_.pruneMs = median(prunes_);
        f_.pageMs = median(pages_);
        service_->stop();
        f_.items = db_.items();
        f_.bytes = db_.bytes();
        return f_;
    }

private:
    const Options& o_;
    const Database& db_;
    GrowthFigures f_;
    load::Options lo_;
    const std::vector<load::Account> uploaders_ = uploaders();
    std::unique_ptr<load::Service> service_;
    std::unique_ptr<httplib::Client> client_;
    std::unique_ptr<load::UploadLoad> uploads_;
    std::vector<double> resets_, prunes_, pages_;
};

}  // namespace

std::pair<GrowthFigures, GrowthFigures> measureGrowth(const Options& o, const Database& fresh, const Database& grown) {
    Side a(o, fresh, 0), b(o, grown, o.growItems);
    ::sync();  // the fill's pages on disk before anything is timed, not written back during it
    a.start();
    b.start();
    for (int turn = 0; turn < kRepeats && !load::gInterrupted; ++turn) {
        // Each goes first every other turn.
        const std::array<Side*, 2> order = turn % 2 ? std::array<Side*, 2>{&b, &a} : std::array<Side*, 2>{&a, &b};
        for (Side* side : order) {
            side->uploadTurn(o.uploadSeconds / kRepeats);
            side->resetTurn();
            side->pruneTurn();
            side->pageTurn();
        }
    }
    return {a.finish(), b.finish()};
}

}  // namespace monday
