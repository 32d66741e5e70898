#include "dataservice/server.h"

#include <future>

#include "dataservice/operation/metrics.h"
#include "dataservice/operation/log_and_limits.h"
#include "dataservice/common/work_pool.h"
#include "dataservice/http/replies.h"
#include "dataservice/pages/page_table.h"

namespace dataservice {

// GET /metrics, for Prometheus, and nothing else.
class Server::MetricsPage final : public RequestHandler {
public:
    explicit MetricsPage(const Listener& counted) : counted_(counted) {}
    void handle(const HttpRequest& request, Reply reply) override {
        if (request.path != "/metrics") return reply(textReply(404, "not found"));
        if (request.method != "GET") return reply(methodNotAllowed("GET, HEAD"));
        reply(HttpReply{200, "text/plain; version=0.0.4; charset=utf-8",
                        Metrics::global().render(counted_.openConnections(), counted_.refusedConnections()), {}});
    }
    HttpReply head(const HttpRequest& request) override {
        return HttpReply{request.path == "/metrics" ? 200 : 404, std::string(kPlainTextType), "", {}};
    }
    std::string allowedMethods(const HttpRequest&) const override { return "GET, HEAD"; }

private:
    const Listener& counted_;
};

namespace {

PagesOptions pagesOptions(const ServerOptions& o) {
    PagesOptions p = o.pages;
    if (o.purgeEvery.count() > 0) p.purgeIntervalSeconds = 0;  // the timer sweeps instead
    return p;
}

ListenerOptions metricsListenerOptions(const ServerOptions& o) {
    ListenerOptions m;
    m.host = o.metricsHost;
    m.port = o.metricsPort;
    m.threads = 1;
    m.maxConnections = 16;
    m.maxConnectionsPerAddress = 16;
    return m;
}

}  // namespace

Server::Server(Store& store, ServerOptions options)
    : store_(store),
      host_(options.host),
      purgeEvery_(options.purgeEvery),
      summaryEvery_(options.summaryEvery),
      journalPath_(options.journalFile),
      pages_(
          store,
          [this](const JournalEntry& e) {
              if (journal_) journal_->append(e);
          },
          pagesOptions(options)),
      health_([&store] { store.ping(); }),
      front_(pages_, health_),
      listener_(front_, static_cast<const ListenerOptions&>(options)) {
    Metrics::global().setPages(pageNames());
    if (options.metricsPort >= 0) {
        Metrics::global().setCounting(true);
        metricsPage_ = std::make_unique<MetricsPage>(listener_);
        metricsListener_ = std::make_unique<Listener>(*metricsPage_, metricsListenerOptions(options));
    }
}

Server::~Server() { stop(); }

void Server::start() {
    if (!journalPath_.empty() && !journal_) journal_ = std::make_unique<JournalFile>(journalPath_);
    listener_.start();
    if (!housekeeper_.joinable()) {
        reported_ = refusalsNow();  // sign-ins are counted for the process: this server reports from here
        housekeepingStop_ = false;
        housekeeper_ = backgroundThread([this] { housekeeping(); });
    }
    if (metricsListener_) {
        try {
            metricsListener_->start();
        } catch (...) {
            listener_.stop();
            throw;
        }
    }
}

void Server::stop() {
    if (housekeeper_.joinable()) {
        {
            std::lock_guard lock(housekeepingMutex_);
            housekeepingStop_ = true;
        }
        housekeepingWake_.notify_all();
        housekeeper_.join();
    }
    if (metricsListener_) metricsListener_->stop();
    listener_.stop();
}

bool Server::alive(std::chrono::milliseconds within) {
    const auto until = std::chrono::steady_clock::now() + within;
    auto committed = std::make_shared<std::promise<void>>();
    auto writer = committed->get_future();
    store_.submit([] {}, [committed](std::exception_ptr) { committed->set_value(); });
    // A busy loop shows itself; an idle one is given a connection to take (or to refuse, when
    // clients hold every slot: that too is a loop at work).
    bool loops = listener_.activity() != activitySeen_;
    if (!loops && knock(host_, port(), within)) {
        while (!loops && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            loops = listener_.activity() != activitySeen_;
        }
    }
    activitySeen_ = listener_.activity();
    return loops && writer.wait_until(until) == std::future_status::ready;
}

void Server::sweep() {
    try {
        const auto started = std::chrono::steady_clock::now();
        // A stop does not wait for a long backlog: the next start sweeps the rest.
        const auto stopping = [this] {
            std::lock_guard lock(housekeepingMutex_);
            return housekeepingStop_;
        };
        if (const auto removed = store_.purgeExpired(stopping)) {
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
            logEvent("purged", {{"evaluations", std::to_string(*removed)}, {"seconds", std::to_string(took.count())}});
        } else {
            logEvent("purge-skipped", {{"reason", "another process is purging"}});
        }
    } catch (const std::exception& e) {
        logEvent("store-error", {{"during", "purge"}, {"error", e.what()}});
    }
}

Server::Reported Server::refusalsNow() const {
    const auto signIns = Metrics::global().signInRefusals();
    return {listener_.refusedConnections(), signIns[static_cast<std::size_t>(SignInRefusal::Password)],
            signIns[static_cast<std::size_t>(SignInRefusal::Limited)], std::chrono::steady_clock::now()};
}

// One line for the refusals since the last: a flood of them must not flood the log.
void Server::summarizeRefusals() {
    const Reported now = refusalsNow(), was = reported_;
    reported_ = now;
    if (now.connections == was.connections && now.password == was.password && now.limited == was.limited) return;
    logEvent("refused", {{"connections", std::to_string(now.connections - was.connections)},
                         {"signin_password", std::to_string(now.password - was.password)},
                         {"signin_limited", std::to_string(now.limited - was.limited)},
                         {"seconds", std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now.at - was.at).count())}});
}

void Server::housekeeping() {
    using Clock = std::chrono::steady_clock;
    const bool sweeping = purgeEvery_.count() > 0;
    auto nextSweep = Clock::now() + purgeEvery_, nextSummary = Clock::now() + summaryEvery_;
    std::unique_lock lock(housekeepingMutex_);
    for (;;) {
        const auto wake = sweeping ? std::min(nextSweep, nextSummary) : nextSummary;
        if (housekeepingWake_.wait_until(lock, wake, [this] { return housekeepingStop_; })) break;
        lock.unlock();
        if (Clock::now() >= nextSummary) {
            summarizeRefusals();
            nextSummary = Clock::now() + summaryEvery_;
        }
        if (sweeping && Clock::now() >= nextSweep) {
            sweep();
            nextSweep = Clock::now() + purgeEvery_;
        }
        lock.lock();
    }
    lock.unlock();
    summarizeRefusals();  // what came since the last line is not lost at a stop
}

}  // namespace dataservice
