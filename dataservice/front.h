#pragma once
// What stands before the pages on the service's port: "/healthz" for load balancers, answered
// from the store's readers' connection (never the writer's queue) and never journalled, and a
// count and a time for every request, for the metrics.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dataservice/http/handler.h"

namespace dataservice {

// Asks the store a trivial question when someone wants to know; one question at a time, shared
// by whoever asks meanwhile. An answer that has not come within the deadline is "no".
class HealthCheck {
public:
    // `probe` throws when the store does not answer.
    HealthCheck(std::function<void()> probe, std::chrono::milliseconds deadline = std::chrono::seconds(1));
    ~HealthCheck();
    HealthCheck(const HealthCheck&) = delete;
    HealthCheck& operator=(const HealthCheck&) = delete;

    // Calls `answer(healthy)` once, from another thread, within the deadline.
    void ask(std::function<void(bool)> answer);

private:
    struct Waiter;
    void probeLoop();
    void expiryLoop();

    std::function<void()> probe_;
    std::chrono::milliseconds deadline_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<Waiter>> waiting_;  // asked, not yet taken by a probe
    std::vector<std::shared_ptr<Waiter>> pending_;  // not yet answered
    bool closing_ = false;
    std::thread prober_, expirer_;
};

class Front final : public RequestHandler {
public:
    Front(RequestHandler& pages, HealthCheck& health) : pages_(pages), health_(health) {}

    void handle(const HttpRequest& request, Reply reply) override;
    HttpReply head(const HttpRequest& request) override;
    std::string allowedMethods(const HttpRequest& request) const override;

private:
    RequestHandler& pages_;
    HealthCheck& health_;
};

}  // namespace dataservice
