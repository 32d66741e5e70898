#include "dataservice/front.h"

#include <atomic>

#include "dataservice/operation/metrics.h"
#include "dataservice/common/work_pool.h"
#include "dataservice/http/replies.h"
#include "dataservice/pages/page_table.h"
#include "dataservice/pages/site.h"

namespace dataservice {

struct HealthCheck::Waiter {
    std::function<void(bool)> answer;
    std::chrono::steady_clock::time_point deadline;
    std::atomic<bool> answered{false};
    void give(bool healthy) {
        if (answered.exchange(true)) return;
        try {
            answer(healthy);
        } catch (...) {
        }
    }
};

HealthCheck::HealthCheck(std::function<void()> probe, std::chrono::milliseconds deadline)
    : probe_(std::move(probe)), deadline_(deadline) {
    prober_ = backgroundThread([this] { probeLoop(); });
    expirer_ = backgroundThread([this] { expiryLoop(); });
}

HealthCheck::~HealthCheck() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    prober_.join();
    expirer_.join();
    for (auto& w : pending_) w->give(false);
}

void HealthCheck::ask(std::function<void(bool)> answer) {
    auto w = std::make_shared<Waiter>();
    w->answer = std::move(answer);
    w->deadline = std::chrono::steady_clock::now() + deadline_;
    {
        std::lock_guard lock(mutex_);
        if (!closing_) {
            waiting_.push_back(w);
            pending_.push_back(w);
            wake_.notify_all();
            return;
        }
    }
    w->give(false);
}

void HealthCheck::probeLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
        if (closing_) return;
        std::vector<std::shared_ptr<Waiter>> asked;
        asked.swap(waiting_);
        lock.unlock();
        bool healthy = false;
        // A session the server ended shows as one failed statement; the second opens a new one.
        for (int attempt = 0; attempt < 2 && !healthy; ++attempt) {
            try {
                probe_();
                healthy = true;
            } catch (...) {
            }
        }
        for (auto& w : asked) w->give(healthy);
        lock.lock();
    }
}

void HealthCheck::expiryLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (pending_.empty())
            wake_.wait(lock, [this] { return closing_ || !pending_.empty(); });
        else
            wake_.wait_until(lock, pending_.front()->deadline, [this] { return closing_; });
        if (closing_) return;
        const auto now = std::chrono::steady_clock::now();
        std::vector<std::shared_ptr<Waiter>> late;
        std::erase_if(pending_, [&](const std::shared_ptr<Waiter>& w) {
            if (w->answered) return true;
            if (w->deadline > now) return false;
            late.push_back(w);
            return true;
        });
        lock.unlock();
        for (auto& w : late) w->give(false);  // the store has not answered in time
        lock.lock();
    }
}

namespace {

bool isHealth(const std::string& path) { return path == "/healthz"; }

HttpReply healthReply(bool healthy) {
    return healthy ? textReply(200, "ok") : textReply(503, "the store does not answer");
}

// The page label a request is counted under.
std::size_t pageOf(const HttpRequest& request) {
    if (const PageDef* def = findPage(request.page)) return Metrics::global().pageSlot(def->name);
    if (inProfileFolder(request)) return Metrics::global().pageSlot("profile");
    return Metrics::global().pageSlot("other");
}

}  // namespace

void Front::handle(const HttpRequest& request, Reply reply) {
    const bool health = isHealth(request.path);
    if (Metrics::global().counting()) {
        const std::size_t page = health ? Metrics::global().pageSlot("healthz") : pageOf(request);
        reply = [began = std::chrono::steady_clock::now(), page, reply = std::move(reply)](HttpReply r) {
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
            Metrics::global().request(page, r.status, took.count());
            reply(std::move(r));
        };
    }
    if (!health) return pages_.handle(request, std::move(reply));
    if (request.method != "GET") return reply(methodNotAllowed("GET, HEAD"));
    health_.ask([reply = std::move(reply)](bool healthy) { reply(healthReply(healthy)); });
}

HttpReply Front::head(const HttpRequest& request) {
    if (isHealth(request.path)) return HttpReply{200, std::string(kPlainTextType), "", {}};
    return pages_.head(request);
}

std::string Front::allowedMethods(const HttpRequest& request) const {
    return isHealth(request.path) ? "GET, HEAD" : pages_.allowedMethods(request);
}

}  // namespace dataservice
