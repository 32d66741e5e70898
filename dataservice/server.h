#pragma once
// The service as one piece: the HTTP listener answering through the pages over a store, and
// the journal file the pages' entries are copied to; "/healthz" before the pages, and the
// metrics on a listener of their own when asked for.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <string>

#include "dataservice/common/journal_format.h"
#include "dataservice/front.h"
#include "dataservice/http/listener.h"
#include "dataservice/pages/site.h"
#include "dataservice/store/store.h"

namespace dataservice {

struct ServerOptions : ListenerOptions {
    std::string journalFile;  // when set, journal lines are appended to it as well
    PagesOptions pages;
    // The metrics' own address and port (0: a free one); off when the port is negative.
    std::string metricsHost = "127.0.0.1";
    int metricsPort = -1;
    // Expired rows are swept on a timer this often (a sweep of its own, logged) instead of
    // from the requests; zero leaves it to the requests (PagesOptions::purgeIntervalSeconds).
    std::chrono::milliseconds purgeEvery{0};
    // Refused connections and sign-ins are logged as one line per this period, when any.
    std::chrono::milliseconds summaryEvery{std::chrono::minutes(1)};
};

class Server {
public:
    Server(Store& store, ServerOptions options = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and starts answering on a background thread. Throws std::runtime_error when the
    // address cannot be bound or the journal file cannot be opened.
    void start();
    // Stops answering and waits for the background threads. Safe to call more than once.
    void stop();

    int port() const { return listener_.port(); }
    // "http://HOST:PORT/" (https with TLS): the ServerPath a collector would use.
    std::string address() const { return listener_.address(); }
    // The metrics listener's "http://HOST:PORT/", empty when it is off.
    std::string metricsAddress() const { return metricsListener_ ? metricsListener_->address() : ""; }
    // True when the event loops and the store's writer have shown within `within` that they
    // are running: what the watchdog tells systemd. One caller at a time.
    bool alive(std::chrono::milliseconds within);
    Pages& pages() { return pages_; }
    Listener& listener() { return listener_; }

private:
    class MetricsPage;
    void housekeeping();
    void sweep();
    struct Reported {
        std::uint64_t connections = 0, password = 0, limited = 0;
        std::chrono::steady_clock::time_point at;
    };
    Reported refusalsNow() const;
    void summarizeRefusals();

    Store& store_;
    std::string host_;
    std::uint64_t activitySeen_ = 0;  // the watchdog's alone
    std::chrono::milliseconds purgeEvery_, summaryEvery_;
    Reported reported_;  // the housekeeper's alone
    std::mutex housekeepingMutex_;
    std::condition_variable housekeepingWake_;
    bool housekeepingStop_ = false;
    std::thread housekeeper_;

    std::string journalPath_;
    std::unique_ptr<JournalFile> journal_;
    Pages pages_;
    HealthCheck health_;
    Front front_;
    Listener listener_;
    std::unique_ptr<MetricsPage> metricsPage_;
    std::unique_ptr<Listener> metricsListener_;
};

}  // namespace dataservice
