#include "bench/load/generator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

namespace load {

struct Generator::Impl {
    Impl(std::vector<int> ports, int connections, Clock::duration requestTimeout)
        : ports_(std::move(ports)), timeout_(requestTimeout), conns_(static_cast<std::size_t>(connections)) {
        if (ports_.empty()) throw std::invalid_argument("the generator needs a port");
        host_ = "127.0.0.1";
    }

    LoadResult run(const NextTarget& next, const OnResult& onResult, Clock::duration duration) {
        next_ = &next;
        onResult_ = &onResult;
        result_ = LoadResult{};
        result_.connections = static_cast<int>(conns_.size());
        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0) throw std::runtime_error("epoll_create1 failed");
        const auto start = Clock::now();
        deadline_ = start + duration;
        auto lastReply = start;
        for (std::size_t i = 0; i < conns_.size(); ++i) sendNext(i);

        std::vector<epoll_event> events(conns_.size() + 1);
        auto nextSweep = start;
        while (active() > 0 && !gInterrupted) {
            const auto now = Clock::now();
            if (now >= deadline_) break;
            const int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 20);
            if (n < 0 && errno != EINTR) break;
            for (int e = 0; e < n; ++e) {
                const std::size_t i = events[static_cast<std::size_t>(e)].data.u64;
                const std::uint64_t before = result_.ok + result_.failed;
                onEvent(i, events[static_cast<std::size_t>(e)].events);
                if (result_.ok + result_.failed != before) lastReply = Clock::now();
            }
            if (Clock::now() >= nextSweep) {  // timeouts and connections waiting to reconnect
                nextSweep = Clock::now() + 10ms;
                for (std::size_t i = 0; i < conns_.size(); ++i) {
                    Conn& c = conns_[i];
                    if (c.busy && Clock::now() - c.sent > timeout_) {
                        ++result_.timeouts;
                        fail(i);
                    } else if (c.retryAt && Clock::now() >= *c.retryAt) {
                        c.retryAt.reset();
                        sendNext(i);
                    }
                }
            }
        }
        const bool cut = Clock::now() >= deadline_ || gInterrupted;
        result_.seconds = std::chrono::duration<double>((cut ? Clock::now() : lastReply) - start).count();
        for (std::size_t i = 0; i < conns_.size(); ++i) {
            if (!conns_[i].answered) ++result_.silentConnections;
            closeConn(i);
            conns_[i] = Conn{};
        }
        ::close(epoll_);
        return std::move(result_);
    }

    void setOnReply(OnReply onReply) { onReply_ = std::move(onReply); }

private:
    struct Conn {
        int fd = -1;
        bool connecting = false;
        bool busy = false;  // a request is out
        bool answered = false;
        bool done = false;  // no more work
        std::string out;
        std::size_t written = 0;
        std::string in;
        Clock::time_point sent;
        std::optional<Clock::time_point> retryAt;
    };

    std::size_t active() const {
        std::size_t n = 0;
        for (const Conn& c : conns_) n += c.done ? 0 : 1;
        return n;
    }

    // Sends the connection's next request, connecting first when needed.
    void sendNext(std::size_t i) {
        Conn& c = conns_[i];
        if (c.done) return;
        if (Clock::now() >= deadline_) return;
        const auto target = (*next_)(static_cast<int>(i));
        if (!target) {
            closeConn(i);
            c.done = true;
            return;
        }
        c.out = "GET " + *target + " HTTP/1.1\r\nHost: " + host_ + "\r\nUser-Agent: bench_load\r\n\r\n";
        c.written = 0;
        c.in.clear();
        c.busy = true;
        c.sent = Clock::now();
        if (c.fd < 0) {
            c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (c.fd < 0) return fail(i);
            int yes = 1;
            ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = htons(static_cast<uint16_t>(ports_[i % ports_.size()]));
            const int r = ::connect(c.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            if (r != 0 && errno != EINPROGRESS) return fail(i);
            c.connecting = r != 0;
            epoll_event ev{};
            ev.events = EPOLLIN | (c.connecting ? EPOLLOUT : 0u);
            ev.data.u64 = i;
            ::epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &ev);
            if (c.connecting) return;
        }
        write(i);
    }

    void watchOutput(std::size_t i, bool on) {
        epoll_event ev{};
        ev.events = EPOLLIN | (on ? EPOLLOUT : 0u);
        ev.data.u64 = i;
        ::epoll_ctl(epoll_, EPOLL_CTL_MOD, conns_[i].fd, &ev);
    }

    void write(std::size_t i) {
        Conn& c = conns_[i];
        while (c.written < c.out.size()) {
            const ssize_t n = ::send(c.fd, c.out.data() + c.written, c.out.size() - c.written, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return watchOutput(i, true);
            if (n <= 0) return fail(i);
            c.written += static_cast<std::size_t>(n);
        }
    }

    void onEvent(std::size_t i, std::uint32_t events) {
        Conn& c = conns_[i];
        if (c.fd < 0) return;
        if (c.connecting) {
            if (!(events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) return;
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error != 0) return fail(i);
            c.connecting = false;
            watchOutput(i, false);
            return write(i);
        }
        if (events & EPOLLOUT) {
            const bool rest = c.written < c.out.size();
            if (rest) write(i);
            if (c.fd >= 0 && c.written >= c.out.size()) watchOutput(i, false);
            if (c.fd < 0) return;
        }
        if (events & (EPOLLIN | EPOLLERR | EPOLLHUP)) read(i);
    }

    void read(std::size_t i) {
        Conn& c = conns_[i];
        char buffer[16384];
        bool ended = false;  // the server closed the connection, perhaps right after a whole reply
        for (;;) {
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ended = true;
                break;
            }
            if (!c.busy) return fail(i);  // nothing was asked
            c.in.append(buffer, static_cast<std::size_t>(n));
        }
        if (!c.busy) return ended ? fail(i) : void();
        const std::size_t headEnd = c.in.find("\r\n\r\n");
        if (headEnd == std::string::npos) return ended ? fail(i) : void();
        const std::string_view head(c.in.data(), headEnd);
        int status = 0;
        if (head.size() < 12 || head.compare(0, 5, "HTTP/") != 0 ||
            std::sscanf(c.in.c_str() + head.find(' '), " %d", &status) != 1)
            return fail(i);
        std::optional<std::size_t> length;
        bool closeAfter = false;
        double retryAfter = -1;
        std::size_t pos = head.find("\r\n");
        while (pos != std::string_view::npos && pos < head.size()) {
            const std::size_t end = std::min(head.find("\r\n", pos + 2), head.size());
            std::string line(head.substr(pos + 2, end - pos - 2));
            for (char& ch : line) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (line.rfind("content-length:", 0) == 0) length = std::strtoull(line.c_str() + 15, nullptr, 10);
            if (line.rfind("connection:", 0) == 0 && line.find("close") != std::string::npos) closeAfter = true;
            if (line.rfind("retry-after:", 0) == 0) retryAfter = std::strtod(line.c_str() + 12, nullptr);
            pos = end == head.size() ? std::string_view::npos : end;
        }
        if (!length) return fail(i);  // every target here sends a length
        if (c.in.size() < headEnd + 4 + *length) return ended ? fail(i) : void();
        const auto took = Clock::now() - c.sent;
        c.busy = false;
        c.answered = true;
        if (status == 200) {
            ++result_.ok;
            result_.latencyUs.push_back(microseconds(took));
            if (result_.firstBody.empty()) result_.firstBody = c.in.substr(headEnd + 4, *length);
        } else {
            ++result_.failed;
        }
        (*onResult_)(static_cast<int>(i), status == 200);
        if (ended || closeAfter || c.in.size() != headEnd + 4 + *length) closeConn(i);
        if (waitBeforeNext(i, Reply{status, retryAfter, microseconds(took)})) return;
        sendNext(i);
    }

    static std::uint32_t microseconds(Clock::duration d) {
        return static_cast<std::uint32_t>(
            std::min<long long>(std::chrono::duration_cast<std::chrono::microseconds>(d).count(), UINT32_MAX));
    }

    // Asks the reply hook; true when the connection is to wait before its next request.
    bool waitBeforeNext(std::size_t i, const Reply& reply) {
        if (!onReply_) return false;
        const Clock::duration wait = onReply_(static_cast<int>(i), reply);
        if (wait <= Clock::duration::zero()) return false;
        closeConn(i);
        conns_[i].retryAt = Clock::now() + wait;
        return true;
    }

    // The request is lost: count it, drop the connection, and go on with the next request
    // after a short pause, so that a server that refuses connections is not hammered.
    void fail(std::size_t i) {
        Conn& c = conns_[i];
        closeConn(i);
        c.retryAt = Clock::now() + 10ms;
        if (c.busy) {
            c.busy = false;
            ++result_.failed;
            (*onResult_)(static_cast<int>(i), false);
            waitBeforeNext(i, Reply{0, -1, microseconds(Clock::now() - c.sent)});
        }
    }

    void closeConn(std::size_t i) {
        Conn& c = conns_[i];
        if (c.fd >= 0) {
            ::epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
            ::close(c.fd);
        }
        c.fd = -1;
        c.connecting = false;
    }

    std::vector<int> ports_;
    std::string host_;
    Clock::duration timeout_;
    std::vector<Conn> conns_;
    int epoll_ = -1;
    Clock::time_point deadline_;
    const NextTarget* next_ = nullptr;
    const OnResult* onResult_ = nullptr;
    OnReply onReply_;
    LoadResult result_;
};

Generator::Generator(std::vector<int> ports, int connections, Clock::duration requestTimeout)
    : impl_(std::make_unique<Impl>(std::move(ports), connections, requestTimeout)) {}

Generator::~Generator() = default;

void Generator::setOnReply(OnReply onReply) { impl_->setOnReply(std::move(onReply)); }

LoadResult Generator::run(const NextTarget& next, const OnResult& onResult, Clock::duration duration) {
    return impl_->run(next, onResult, duration);
}

}  // namespace load
