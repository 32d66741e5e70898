#pragma once
// Ends connections whose request has not fully arrived within its deadline. A read time-out
// alone would let a client that sends a byte now and then hold on for ever.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace dataservice {

class DeadlineWatch {
public:
    using Clock = std::chrono::steady_clock;

    // One accepted connection, as the watch sees it.
    struct Connection {
        int fd = -1;
        std::atomic<Clock::rep> since{0};  // when the server began waiting for the current request
        std::atomic<bool> busy{false};     // its head has arrived: a page runs or a reply goes out
        bool cut = false;                  // already shut down by the watch
        void restart() {
            since = Clock::now().time_since_epoch().count();
            busy = false;
        }
    };

    explicit DeadlineWatch(std::chrono::seconds limit) : limit_(limit) {}
    ~DeadlineWatch() { stop(); }
    DeadlineWatch(const DeadlineWatch&) = delete;
    DeadlineWatch& operator=(const DeadlineWatch&) = delete;

    void start();
    void stop();
    // A connection's fd stays the library's until forget(), which waits while the watch cuts.
    Connection* track(int fd);
    void forget(Connection* connection);
    std::size_t open();

private:
    void run();

    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::unordered_set<Connection*> connections_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace dataservice
