#include "tests/support/fault_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <stdexcept>

namespace faults {

namespace {

using Clock = std::chrono::steady_clock;

struct Connection {
    std::string pending;                   // bytes of a request not yet complete
    std::deque<Clock::time_point> replies;  // replies owed, by when
};

void Send(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

const std::string& OneRecord() {
    static const std::string body =
        "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'"
        " xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
        " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
        "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
        "<s:AttributeType name='UID' rs:number='1'><s:datatype dt:type='string'/></s:AttributeType>"
        "</s:ElementType></s:Schema><rs:data><z:row UID='x'/></rs:data></xml>";
    return body;
}

FaultServer::FaultServer(Behaviour behaviour, std::chrono::milliseconds delay)
    : behaviour_(behaviour), delayMs_(static_cast<int>(delay.count())) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
    Listen();
    if (behaviour == Behaviour::Down) {
        ::close(listener_);
        listener_ = -1;
    }
    thread_ = std::thread([this] { Loop(); });
}

FaultServer::~FaultServer() {
    stop_ = true;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
    thread_.join();
    if (listener_ >= 0) ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void FaultServer::Listen() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    const int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("bind failed");
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (::listen(listener_, 512) != 0) throw std::runtime_error("listen failed");
}

void FaultServer::Set(Behaviour behaviour) {
    behaviour_ = behaviour;
    const unsigned asked = ++asked_;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
    // Listening again (or no longer) before the test's next request.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (applied_ < asked && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::vector<std::string> FaultServer::Received() {
    std::lock_guard lock(mutex_);
    return received_;
}

void FaultServer::Loop() {
    std::map<int, Connection> connections;
    auto dropAll = [&] {
        for (auto& [fd, c] : connections) ::close(fd);
        connections.clear();
    };
    while (!stop_) {
        const unsigned asked = asked_;
        const Behaviour behaviour = behaviour_;
        if (behaviour == Behaviour::Down && listener_ >= 0) {
            ::close(listener_);
            listener_ = -1;
            dropAll();
        } else if (behaviour != Behaviour::Down && listener_ < 0) {
            Listen();  // the same port again
        }
        applied_ = asked;

        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}};
        if (listener_ >= 0) fds.push_back({listener_, POLLIN, 0});
        for (auto& [fd, c] : connections) fds.push_back({fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 10);

        char drain[64];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
        for (const pollfd& p : fds) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (p.fd == wake_[0]) continue;
            if (p.fd == listener_) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) continue;
                ++connections_;
                if (behaviour_ == Behaviour::CloseAtOnce) {
                    ::close(fd);
                    continue;
                }
                const int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                connections[fd];
                continue;
            }
            auto it = connections.find(p.fd);
            if (it == connections.end()) continue;
            char buf[8192];
            const ssize_t n = ::recv(p.fd, buf, sizeof buf, 0);
            if (n <= 0 || behaviour_ == Behaviour::CloseAtOnce) {
                ::close(p.fd);
                connections.erase(it);
                continue;
            }
            Connection& c = it->second;
            c.pending.append(buf, static_cast<std::size_t>(n));
            for (std::size_t end; (end = c.pending.find("\r\n\r\n")) != std::string::npos;) {
                const std::string head = c.pending.substr(0, end);
                c.pending.erase(0, end + 4);
                const auto sp1 = head.find(' ');
                const auto sp2 = head.find(' ', sp1 + 1);
                {
                    std::lock_guard lock(mutex_);
                    received_.push_back(head.substr(sp1 + 1, sp2 - sp1 - 1));
                }
                if (behaviour_ == Behaviour::Answer)
                    c.replies.push_back(Clock::now() + std::chrono::milliseconds(delayMs_.load()));
            }
        }
        // Replies that have come due.
        const Clock::time_point now = Clock::now();
        for (auto& [fd, c] : connections) {
            while (!c.replies.empty() && c.replies.front() <= now) {
                c.replies.pop_front();
                const std::string& body = OneRecord();
                Send(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body);
            }
        }
    }
    dropAll();
}

}  // namespace faults
