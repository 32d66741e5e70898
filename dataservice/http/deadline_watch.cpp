#include "dataservice/http/deadline_watch.h"

#include <sys/socket.h>

#include <new>

namespace dataservice {

void DeadlineWatch::start() {
    std::lock_guard lock(mutex_);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void DeadlineWatch::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

DeadlineWatch::Connection* DeadlineWatch::track(int fd) {
    auto* c = new (std::nothrow) Connection;
    if (!c) return nullptr;
    c->fd = fd;
    c->since = Clock::now().time_since_epoch().count();
    std::lock_guard lock(mutex_);
    connections_.insert(c);
    return c;
}

void DeadlineWatch::forget(Connection* connection) {
    std::lock_guard lock(mutex_);
    connections_.erase(connection);
    delete connection;
}

std::size_t DeadlineWatch::open() {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

void DeadlineWatch::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, std::chrono::milliseconds(200));
        const auto now = Clock::now();
        for (Connection* c : connections_) {
            if (c->cut || c->busy) continue;
            if (now - Clock::time_point(Clock::duration(c->since.load())) < limit_) continue;
            // The library notices the end and closes the connection in its own thread; the fd
            // stays ours until its close notice, which waits for this lock.
            shutdown(c->fd, SHUT_RDWR);
            c->cut = true;
        }
    }
}

}  // namespace dataservice
