// Load on the reference data service as a provider with a fleet would put it: many collectors,
// each on a kept-alive connection, measured with one cheap generator (one thread, epoll) against
//   - the service itself, started from its binary on a fresh database;
//   - a bare libmicrohttpd endpoint answering the service's upload reply without any store;
//   - nginx answering the same bytes,
// so that the service's rate reads against the ceilings of this machine. The three take turns in
// short slices, so a change in the machine's pace during the run falls on all of them alike. The
// service also runs whole collection runs side by side, after which its database is checked item
// by item.
#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dataservice/pages/recordset_writer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::atomic<bool> gInterrupted{false};

void onStopSignal(int) { gInterrupted = true; }

// ---------------------------------------------------------------- options

struct Options {
    std::string service = VANTREL_DATASERVICE_BIN;
    std::string dbUrl;  // empty: a fresh SQLite file in the temporary folder
    int connections = 50;
    double seconds = 10;
    int rounds = 5;           // the targets take turns this many times within `seconds` each
    int collectors = 50;
    int items = 500;
    double timeout = 5;       // one request of the throughput workload
    double runTimeout = 60;   // one request of a collection run: the collector's own limit
    double runLimit = 300;    // the whole correctness workload
    std::set<std::string> only;  // empty: every target
};

const char kUsage[] =
    "usage: bench_load [--service BIN] [--connections C] [--seconds S] [--rounds R] [--collectors N]\n"
    "                  [--items M] [--timeout S] [--run-timeout S] [--run-limit S]\n"
    "                  [--only service|bare|nginx[,...]] [--db-url postgresql://...]\n"
    "\n"
    "Drives C kept-alive connections of back-to-back sftdata.asp uploads for S seconds against the\n"
    "data service, a bare libmicrohttpd endpoint and nginx, taking turns in R rounds of S/R seconds,\n"
    "then N simulated collectors making a whole run of M items each against the service, and checks\n"
    "what it stored.\n";

bool wants(const Options& o, const std::string& target) { return o.only.empty() || o.only.count(target) > 0; }

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
            return argv[++i];
        };
        const auto number = [&](double low, double high) {
            const std::string text = value();
            char* end = nullptr;
            const double n = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(n >= low && n <= high))
                throw std::invalid_argument(arg + " needs a number from " + std::to_string(low) + " to " +
                                            std::to_string(high));
            return n;
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else if (arg == "--service") {
            o.service = value();
        } else if (arg == "--db-url") {
            o.dbUrl = value();
        } else if (arg == "--connections") {
            o.connections = static_cast<int>(number(1, 5000));
        } else if (arg == "--seconds") {
            o.seconds = number(0.1, 600);
        } else if (arg == "--rounds") {
            o.rounds = static_cast<int>(number(1, 100));
        } else if (arg == "--collectors") {
            o.collectors = static_cast<int>(number(0, 5000));
        } else if (arg == "--items") {
            o.items = static_cast<int>(number(1, 1000000));
        } else if (arg == "--timeout") {
            o.timeout = number(0.01, 600);
        } else if (arg == "--run-timeout") {
            o.runTimeout = number(0.01, 600);
        } else if (arg == "--run-limit") {
            o.runLimit = number(1, 3600);
        } else if (arg == "--only") {
            std::stringstream list(value());
            for (std::string t; std::getline(list, t, ',');) {
                if (t != "service" && t != "bare" && t != "nginx")
                    throw std::invalid_argument("--only takes service, bare or nginx, not " + t);
                o.only.insert(t);
            }
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
    if (wants(o, "service") && o.service.empty())
        throw std::invalid_argument("the service binary was not built; name it with --service");
    if (wants(o, "service") && ::access(o.service.c_str(), X_OK) != 0)
        throw std::invalid_argument("cannot run the service binary " + o.service);
    return o;
}

// ---------------------------------------------------------------- processes and folders

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-load-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A child process, stopped (TERM, then KILL after a grace time) when this goes out of scope.
// The child also dies with the benchmark, should that be killed outright.
class Child {
public:
    // `stdoutFd`: when not null, receives the read end of a pipe on the child's standard output.
    Child(const std::vector<std::string>& argv, int* stdoutFd = nullptr) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        int out[2] = {-1, -1};
        if (stdoutFd && ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
            if (stdoutFd) ::dup2(out[1], STDOUT_FILENO);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        if (stdoutFd) {
            ::close(out[1]);
            *stdoutFd = out[0];
        }
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    bool running() {
        if (pid_ <= 0) return false;
        if (::waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = -1;
        return pid_ > 0;
    }
    // Waits up to `limit` for the child to end by itself; kills it after that. Its exit status.
    int wait(Clock::duration limit) {
        const auto until = Clock::now() + limit;
        while (running() && Clock::now() < until) std::this_thread::sleep_for(5ms);
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status_, 0);
            pid_ = -1;
            return -1;
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    void stop() {
        if (!running()) return;
        ::kill(pid_, SIGTERM);
        wait(5s);
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
};


// Reads the child's output until `stop` says it has enough, the pipe closes or `limit` passes.
std::string readOutput(int fd, Clock::duration limit, const std::function<bool(const std::string&)>& stop) {
    std::string text;
    const auto until = Clock::now() + limit;
    char buffer[4096];
    while (!stop(text) && !gInterrupted) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a command to its end (bounded by `limit`), keeping its standard output.
CommandResult runCommand(const std::vector<std::string>& argv, Clock::duration limit = 60s) {
    int fd = -1;
    Child child(argv, &fd);
    CommandResult r;
    const auto until = Clock::now() + limit;
    r.output = readOutput(fd, limit, [](const std::string&) { return false; });
    ::close(fd);
    r.status = child.wait(std::max<Clock::duration>(until - Clock::now(), 1s));
    return r;
}

// A port nobody listens on now. Another program could take it before nginx binds it; nginx
// then fails to start and says so.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot find a free port");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

std::string urlEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

Clock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// ---------------------------------------------------------------- the generator

// What one connection asks next: the request target ("/page.asp?..."), or nothing when its
// work is done (the connection is then closed, as a collector's is after its run).
using NextTarget = std::function<std::optional<std::string>(int connection)>;
// Told of each answered or failed request, in the order the connection made them.
using OnResult = std::function<void(int connection, bool ok)>;

struct LoadResult {
    double seconds = 0;      // from the start to the last reply (or the deadline)
    std::uint64_t ok = 0;    // status 200 with a whole body
    std::uint64_t failed = 0;  // another status, a broken connection or a timeout
    std::uint64_t timeouts = 0;
    int connections = 0;
    int silentConnections = 0;      // connections that never got a reply
    std::vector<std::uint32_t> latencyUs;  // of the ok requests
    std::string firstBody;               // of the first ok reply, to compare targets by

    double rate() const { return seconds > 0 ? static_cast<double>(ok) / seconds : 0; }
    double percentileMs(double p) {
        if (latencyUs.empty()) return 0;
        const std::size_t k = std::min(latencyUs.size() - 1, static_cast<std::size_t>(p * latencyUs.size()));
        std::nth_element(latencyUs.begin(), latencyUs.begin() + static_cast<std::ptrdiff_t>(k), latencyUs.end());
        return latencyUs[k] / 1000.0;
    }
};

// Drives `connections` kept-alive HTTP/1.1 connections to 127.0.0.1:`port` from one thread:
// each sends a request, reads the whole reply, and sends the next, until `next` has no more
// for it or `duration` has passed. A request that fails is counted and the connection is made
// anew for the next one, as a client library would. Requests are plain GETs with a
// Content-Length reply expected (every target here answers so).
class Generator {
public:
    Generator(int port, int connections, Clock::duration requestTimeout)
        : port_(port), timeout_(requestTimeout), conns_(static_cast<std::size_t>(connections)) {
        host_ = "127.0.0.1:" + std::to_string(port);
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
        for (std::size_t i = 0; i < conns_.size(); ++i) issue(i);

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
                        issue(i);
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
    void issue(std::size_t i) {
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
            addr.sin_port = htons(static_cast<uint16_t>(port_));
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
        std::size_t pos = head.find("\r\n");
        while (pos != std::string_view::npos && pos < head.size()) {
            const std::size_t end = std::min(head.find("\r\n", pos + 2), head.size());
            std::string line(head.substr(pos + 2, end - pos - 2));
            for (char& ch : line) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (line.rfind("content-length:", 0) == 0) length = std::strtoull(line.c_str() + 15, nullptr, 10);
            if (line.rfind("connection:", 0) == 0 && line.find("close") != std::string::npos) closeAfter = true;
            pos = end == head.size() ? std::string_view::npos : end;
        }
        if (!length) return fail(i);  // every target here sends a length
        if (c.in.size() < headEnd + 4 + *length) return ended ? fail(i) : void();
        const auto took = Clock::now() - c.sent;
        c.busy = false;
        c.answered = true;
        if (status == 200) {
            ++result_.ok;
            result_.latencyUs.push_back(static_cast<std::uint32_t>(
                std::min<long long>(std::chrono::duration_cast<std::chrono::microseconds>(took).count(), UINT32_MAX)));
            if (result_.firstBody.empty()) result_.firstBody = c.in.substr(headEnd + 4, *length);
        } else {
            ++result_.failed;
        }
        (*onResult_)(static_cast<int>(i), status == 200);
        if (ended || closeAfter || c.in.size() != headEnd + 4 + *length) closeConn(i);
        issue(i);
    }

    // The request is lost: count it, drop the connection, and go on with the next request
    // after a short pause, so that a server that refuses connections is not hammered.
    void fail(std::size_t i) {
        Conn& c = conns_[i];
        closeConn(i);
        if (c.busy) {
            c.busy = false;
            ++result_.failed;
            (*onResult_)(static_cast<int>(i), false);
        }
        c.retryAt = Clock::now() + 10ms;
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

    int port_;
    std::string host_;
    Clock::duration timeout_;
    std::vector<Conn> conns_;
    int epoll_ = -1;
    Clock::time_point deadline_;
    const NextTarget* next_ = nullptr;
    const OnResult* onResult_ = nullptr;
    LoadResult result_;
};

// ---------------------------------------------------------------- the targets

// What the service answers an upload: a record set with its one column and no records.
std::string uploadReply() {
    return dataservice::writeRecordSet({dataservice::Column{"UID", dataservice::ColumnType::String, 50}}, {});
}

// The ceiling of the service's HTTP library: libmicrohttpd answering the fixed reply to every
// request from one epoll thread per core, touching no store.
class BareEndpoint {
public:
    explicit BareEndpoint(const std::string& body) {
        response_ = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
        if (!response_) throw std::runtime_error("cannot make the bare endpoint's reply");
        MHD_add_response_header(response_, MHD_HTTP_HEADER_CONTENT_TYPE, "text/xml; charset=utf-8");
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        daemon_ = MHD_start_daemon(MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_TURBO, 0, nullptr, nullptr, &answer, response_,
                                   MHD_OPTION_SOCK_ADDR, &addr, MHD_OPTION_THREAD_POOL_SIZE, cores,
                                   MHD_OPTION_CONNECTION_TIMEOUT, 30u, MHD_OPTION_END);
        if (!daemon_) {
            MHD_destroy_response(response_);
            throw std::runtime_error("cannot start the bare libmicrohttpd endpoint");
        }
        port_ = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port;
    }
    ~BareEndpoint() {
        MHD_stop_daemon(daemon_);
        MHD_destroy_response(response_);
    }
    BareEndpoint(const BareEndpoint&) = delete;
    BareEndpoint& operator=(const BareEndpoint&) = delete;
    int port() const { return port_; }

private:
    // A reply queued on the first call, before libmicrohttpd has read the whole request, makes
    // it close the connection after the reply; on the second call it keeps the connection.
    static MHD_Result answer(void* cls, MHD_Connection* connection, const char*, const char*, const char*, const char*,
                             size_t*, void** request) {
        static int seen;
        if (!*request) {
            *request = &seen;
            return MHD_YES;
        }
        return MHD_queue_response(connection, MHD_HTTP_OK, static_cast<MHD_Response*>(cls));
    }
    MHD_Response* response_ = nullptr;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
};

// The machine's HTTP ceiling: nginx returning the same bytes from its configuration.
class Nginx {
public:
    Nginx(const std::filesystem::path& dir, const std::string& body) {
        for (const char* binary : {"/usr/sbin/nginx", "/usr/bin/nginx"})
            if (::access(binary, X_OK) == 0) binary_ = binary;
        if (binary_.empty()) throw std::runtime_error("nginx is not installed (package nginx-light)");
        std::filesystem::create_directories(dir / "logs");
        port_ = freePort();
        // In a double-quoted nginx string only the quote, the backslash and "$" are special.
        std::string quoted;
        for (const char c : body) {
            if (c == '"' || c == '\\') quoted += '\\';
            if (c == '$') throw std::runtime_error("the reply holds a \"$\", which nginx would expand");
            quoted += c;
        }
        const std::string d = dir.string();
        std::ofstream conf(dir / "nginx.conf");
        conf << "daemon off;\nworker_processes 2;\npid " << d << "/nginx.pid;\nerror_log " << d
             << "/logs/error.log warn;\n"
             << "events { worker_connections 4096; }\n"
             << "http {\n  access_log off;\n  keepalive_requests 1000000;\n  keepalive_timeout 60s;\n"
             << "  client_body_temp_path " << d << "/body;\n  proxy_temp_path " << d << "/proxy;\n"
             << "  fastcgi_temp_path " << d << "/fastcgi;\n  uwsgi_temp_path " << d << "/uwsgi;\n"
             << "  scgi_temp_path " << d << "/scgi;\n"
             << "  server {\n    listen 127.0.0.1:" << port_ << ";\n"
             << "    location / { default_type text/xml; return 200 \"" << quoted << "\"; }\n  }\n}\n";
        conf.close();
        if (!conf) throw std::runtime_error("cannot write nginx's configuration");
        log_ = dir / "logs/error.log";
        child_ = std::make_unique<Child>(std::vector<std::string>{binary_, "-c", (dir / "nginx.conf").string(), "-p", d + "/"});
        const auto until = Clock::now() + 10s;
        while (!accepts(port_)) {
            if (!child_->running() || Clock::now() > until || gInterrupted)
                throw std::runtime_error("nginx did not start; its log says:\n" + errorLog());
            std::this_thread::sleep_for(10ms);
        }
    }
    int port() const { return port_; }
    std::string errorLog() const {
        std::ifstream in(log_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string binary_;
    int port_ = 0;
    std::filesystem::path log_;
    std::unique_ptr<Child> child_;
};

// vantrel-dataservice on a free port of 127.0.0.1, serving `db`.
class Service {
public:
    Service(const std::string& binary, const std::string& db) {
        int fd = -1;
        child_ = std::make_unique<Child>(std::vector<std::string>{binary, "--db", db, "--port", "0"}, &fd);
        const std::string line = readOutput(fd, 20s, [](const std::string& t) { return t.find('\n') != std::string::npos; });
        ::close(fd);
        const std::string prefix = "listening on http://127.0.0.1:";
        const std::size_t at = line.find(prefix);
        if (at == std::string::npos) throw std::runtime_error("the service did not start; it printed: " + line);
        port_ = std::atoi(line.c_str() + at + prefix.size());
    }
    int port() const { return port_; }
    bool running() { return child_->running(); }
    void stop() { child_->stop(); }
    // The processor time the service has used so far, its threads together.
    double cpuSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(child_->pid()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t name = text.rfind(')');  // the command's name may hold spaces
        if (name == std::string::npos) return 0;
        std::istringstream fields(text.substr(name + 2));
        std::string field;
        unsigned long long user = 0, system = 0;
        for (int k = 3; k <= 15 && fields >> field; ++k) {  // utime and stime are fields 14 and 15
            if (k == 14) user = std::stoull(field);
            if (k == 15) system = std::stoull(field);
        }
        return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }

private:
    std::unique_ptr<Child> child_;
    int port_ = 0;
};

// ---------------------------------------------------------------- workloads

struct Account {
    std::string name;
    std::string password;
};

// The simulated subscribers. Their names are new to a shared database (--db-url) too.
std::vector<Account> makeAccounts(int count) {
    const std::string run = std::to_string(::getpid()) + "t" + std::to_string(std::time(nullptr) % 100000);
    std::vector<Account> accounts;
    for (int i = 0; i < count; ++i)
        accounts.push_back({"load" + run + "c" + std::to_string(i), "pass word " + std::to_string(i)});
    return accounts;
}

// Adds the accounts with the service's own command, two at a time (one per core) once the
// first has made the database: two processes that both find no database may clash while it
// is switched to write-ahead logging, and one then fails with "database is locked".
void addAccounts(const Options& o, const std::string& db, const std::vector<Account>& accounts) {
    for (std::size_t i = 0; i < accounts.size() && !gInterrupted;) {
        const std::size_t n = i == 0 ? 1 : 2;
        std::vector<std::unique_ptr<Child>> batch;
        for (std::size_t k = i; k < std::min(accounts.size(), i + n); ++k)
            batch.push_back(std::make_unique<Child>(
                std::vector<std::string>{o.service, "--db", db, "add-account", accounts[k].name, accounts[k].password}));
        for (auto& child : batch)
            if (child->wait(60s) != 0) throw std::runtime_error("add-account failed for " + accounts[i].name);
        i += n;
    }
}

std::string uploadTarget(const Account& a, const std::string& item) {
    return "/sftdata.asp?UID=" + urlEncode(a.name) + "&qIS=" + urlEncode(item) + "&PWD=" + urlEncode(a.password);
}

// One target's upload workload: every connection uploads back to back, each item a new text,
// in slices that take turns with the other targets' slices, so that a change in the machine's
// pace (another tenant, the disk catching up) falls on every target alike.
class UploadLoad {
public:
    // `target`: service, bare or nginx; `name`: how its figures are headed.
    UploadLoad(std::string target, std::string name, int port, const Options& o, const std::vector<Account>& accounts)
        : target_(std::move(target)), name_(std::move(name)), port_(port), o_(o), accounts_(accounts),
          sent_(static_cast<std::size_t>(o.connections), 0) {}

    // A first request per connection, not counted, lets the service check each password once
    // (it remembers a checked password for minutes, as during a real run). Returns the failed.
    std::uint64_t warmUp() {
        std::vector<bool> warm(sent_.size(), false);
        const NextTarget once = [&](int c) -> std::optional<std::string> {
            if (warm[static_cast<std::size_t>(c)]) return std::nullopt;
            warm[static_cast<std::size_t>(c)] = true;
            return nextUpload(c);
        };
        // The first request of each account costs a full key derivation: give it the collector's time.
        return Generator(port_, o_.connections, toDuration(o_.runTimeout)).run(once, [](int, bool) {}, 120s).failed;
    }

    // Runs one slice; returns its rate.
    double slice(double length) {
        const NextTarget always = [&](int c) -> std::optional<std::string> { return nextUpload(c); };
        LoadResult r = Generator(port_, o_.connections, toDuration(o_.timeout)).run(always, [](int, bool) {}, toDuration(length));
        const double rate = r.rate();
        total_.seconds += r.seconds;
        total_.ok += r.ok;
        total_.failed += r.failed;
        total_.timeouts += r.timeouts;
        total_.connections = r.connections;
        total_.silentConnections = std::max(total_.silentConnections, r.silentConnections);
        total_.latencyUs.insert(total_.latencyUs.end(), r.latencyUs.begin(), r.latencyUs.end());
        if (total_.firstBody.empty()) total_.firstBody = r.firstBody;
        return rate;
    }

    const std::string& target() const { return target_; }
    const std::string& name() const { return name_; }
    LoadResult& total() { return total_; }

private:
    std::string nextUpload(int c) {
        const Account& a = accounts_[static_cast<std::size_t>(c) % accounts_.size()];
        return uploadTarget(a, "Load program " + std::to_string(c) + "." + std::to_string(++sent_[static_cast<std::size_t>(c)]));
    }
    std::string target_;
    std::string name_;
    int port_;
    const Options& o_;
    const std::vector<Account>& accounts_;
    std::vector<std::uint64_t> sent_;
    LoadResult total_;
};

std::string itemText(int collector, int item) {
    return "Program " + std::to_string(item) + " of collector " + std::to_string(collector);
}

// Each collector makes a subscriber's whole run on its own account and connection: the
// profile reset, its items in order, then the closing request. A failed request is skipped,
// as the collector skips it.
LoadResult collectionRuns(int port, const Options& o, const std::vector<Account>& accounts) {
    std::vector<int> step(static_cast<std::size_t>(o.collectors), 0);
    const std::string dates = "&crDate=" + urlEncode("1/5/2024 10:00:00 AM") + "&luDate=" + urlEncode("3/7/2024 4:30:00 PM");
    const NextTarget next = [&](int c) -> std::optional<std::string> {
        const Account& a = accounts[static_cast<std::size_t>(c)];
        const int s = step[static_cast<std::size_t>(c)]++;
        const std::string who = "UID=" + urlEncode(a.name) + "&PWD=" + urlEncode(a.password);
        if (s == 0) return "/updatedata.asp?" + who + dates;
        if (s <= o.items) return uploadTarget(a, itemText(c, s - 1));
        if (s == o.items + 1) return "/finalize.asp?" + who;
        return std::nullopt;
    };
    const auto timeout = toDuration(o.runTimeout);
    return Generator(port, o.collectors, timeout)
        .run(next, [](int, bool) {}, toDuration(o.runLimit));
}

struct Check {
    std::uint64_t lost = 0, duplicated = 0, reordered = 0, foreign = 0;
    int unreadable = 0;  // profiles list-items could not list
};

// How many of `order` are out of place: all but a longest increasing run of them.
std::uint64_t outOfOrder(const std::vector<int>& order) {
    std::vector<int> tails;
    for (const int v : order) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), v);
        if (at == tails.end()) tails.push_back(v);
        else *at = v;
    }
    return order.size() - tails.size();
}

// Reads every profile back with `list-items` and compares it with the items its collector sent.
// The whole check is bounded by the run limit; profiles it has no time left for count as unread.
Check checkProfiles(const Options& o, const std::string& db, const std::vector<Account>& accounts) {
    Check check;
    const auto until = Clock::now() + toDuration(o.runLimit);
    for (int c = 0; c < o.collectors; ++c) {
        const auto left = until - Clock::now();
        CommandResult listed;
        if (left > 0s && !gInterrupted)
            listed = runCommand({o.service, "--db", db, "list-items", accounts[static_cast<std::size_t>(c)].name},
                                std::min<Clock::duration>(left, 60s));
        if (listed.status != 0) {
            ++check.unreadable;
            check.lost += static_cast<std::uint64_t>(o.items);
            continue;
        }
        std::vector<int> seen(static_cast<std::size_t>(o.items), 0);
        std::vector<int> order;
        std::istringstream lines(listed.output);
        for (std::string line; std::getline(lines, line);) {
            int item = -1, collector = -1;
            if (line.rfind("Software\t", 0) != 0 ||
                std::sscanf(line.c_str() + 9, "Program %d of collector %d", &item, &collector) != 2)
                item = -1;
            if (item < 0 || item >= o.items || collector != c || line != "Software\t" + itemText(c, item)) {
                ++check.foreign;
                continue;
            }
            if (seen[static_cast<std::size_t>(item)]++ == 0) order.push_back(item);
        }
        for (const int n : seen) {
            if (n == 0) ++check.lost;
            if (n > 1) check.duplicated += static_cast<std::uint64_t>(n - 1);
        }
        check.reordered += outOfOrder(order);
    }
    return check;
}

// ---------------------------------------------------------------- report

// Requests still out when a workload's time is up are neither counted nor failed; a connection
// that never got an answer in the whole time is named, since the rate hides it.
void printLoad(const std::string& what, LoadResult& r) {
    std::printf("%-44s %7.0f uploads/s  p50 %6.2f ms  p99 %6.2f ms  max %7.1f ms  failed %llu", what.c_str(),
                r.rate(), r.percentileMs(0.50), r.percentileMs(0.99), r.percentileMs(1.0),
                static_cast<unsigned long long>(r.failed));
    if (r.timeouts) std::printf(" (%llu timed out)", static_cast<unsigned long long>(r.timeouts));
    if (r.silentConnections)
        std::printf(", %d of %d connections never answered", r.silentConnections, r.connections);
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

namespace {

int runTargets(const Options& o) {
    TempDir tmp;
    const std::string body = uploadReply();
    // The collection runs get accounts of their own: uploads of the throughput workload that the
    // service still holds when that workload ends may land after a run's profile reset.
    const auto all = makeAccounts(o.connections + o.collectors);
    const std::vector<Account> accounts(all.begin(), all.begin() + o.connections);
    const std::vector<Account> subscribers(all.begin() + o.connections, all.end());
    bool sound = true;
    std::printf("%u cores; %d connections for %g s in %d rounds; %d collectors x %d items; generator: one thread, epoll\n",
                std::thread::hardware_concurrency(), o.connections, o.seconds, o.rounds, o.collectors, o.items);
    std::fflush(stdout);

    // Every target is up before the first slice; an idle one costs the others nothing.
    const std::string db = o.dbUrl.empty() ? (tmp.path() / "service.db").string() : o.dbUrl;
    std::unique_ptr<Service> service;
    std::unique_ptr<BareEndpoint> bare;
    std::unique_ptr<Nginx> nginx;
    std::vector<UploadLoad> loads;
    if (wants(o, "service")) {
        addAccounts(o, db, all);
        service = std::make_unique<Service>(o.service, db);
        loads.emplace_back("service", "service, " + std::to_string(o.connections) + " connections", service->port(), o, accounts);
    }
    if (wants(o, "bare") && !gInterrupted) {
        bare = std::make_unique<BareEndpoint>(body);
        loads.emplace_back("bare", "bare libmicrohttpd, " + std::to_string(o.connections) + " connections", bare->port(), o, accounts);
    }
    if (wants(o, "nginx") && !gInterrupted) {
        nginx = std::make_unique<Nginx>(tmp.path() / "nginx", body);
        loads.emplace_back("nginx", "nginx, " + std::to_string(o.connections) + " connections", nginx->port(), o, accounts);
    }
    for (UploadLoad& load : loads)
        if (const std::uint64_t failed = gInterrupted ? 0 : load.warmUp())
            std::printf("note: %llu of the first uploads to %s (one per connection, not counted) failed\n",
                        static_cast<unsigned long long>(failed), load.name().c_str());

    // rates[round][target]; the service's processor time over its own slices
    std::vector<std::vector<double>> rates;
    double serviceCpu = 0;
    for (int round = 0; round < o.rounds && !gInterrupted; ++round) {
        rates.emplace_back();
        for (std::size_t k = 0; k < loads.size() && !gInterrupted; ++k) {
            const bool isService = service && k == 0;
            const double before = isService ? service->cpuSeconds() : 0;
            rates.back().push_back(loads[k].slice(o.seconds / o.rounds));
            if (isService) serviceCpu += service->cpuSeconds() - before;
        }
    }
    for (UploadLoad& load : loads) printLoad(load.name(), load.total());
    if (service && !loads.empty()) {
        LoadResult& t = loads[0].total();
        if (!t.firstBody.empty() && t.firstBody != body)
            std::printf("note: the service's upload reply differs from the fixed record set the ceilings answer\n");
        if (t.ok > 0)
            std::printf("service processor time per upload: %.1f us (its threads together)\n",
                        serviceCpu * 1e6 / static_cast<double>(t.ok));
    }
    // Each ratio over the whole time, and its range over the rounds.
    if (service && loads.size() > 1) {
        std::string line;
        for (std::size_t k = 1; k < loads.size(); ++k) {
            const double ceiling = loads[k].total().rate();
            if (ceiling <= 0) continue;
            double low = 1e9, high = 0;
            for (const auto& r : rates)
                if (r.size() > k && r[k] > 0) {
                    low = std::min(low, r[0] / r[k]);
                    high = std::max(high, r[0] / r[k]);
                }
            char ratio[128];
            std::snprintf(ratio, sizeof ratio, "%sservice/%s = %.2f (rounds %.2f-%.2f)", line.empty() ? "" : ", ",
                          loads[k].target().c_str(), loads[0].total().rate() / ceiling, low, high);
            line += ratio;
        }
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);

    if (service && o.collectors > 0 && !gInterrupted) {
        auto runs = collectionRuns(service->port(), o, subscribers);
        service->stop();  // everything it answered is committed; list-items then reads alone
        const Check check = checkProfiles(o, db, subscribers);
        printLoad("service, " + std::to_string(o.collectors) + " collectors x " + std::to_string(o.items) + " items", runs);
        std::printf("  %d runs in %.2f s: lost %llu, duplicated %llu, reordered %llu", o.collectors, runs.seconds,
                    static_cast<unsigned long long>(check.lost), static_cast<unsigned long long>(check.duplicated),
                    static_cast<unsigned long long>(check.reordered));
        if (check.foreign) std::printf(", %llu items not sent", static_cast<unsigned long long>(check.foreign));
        if (check.unreadable) std::printf(", %d profiles not listed", check.unreadable);
        std::printf("\n");
        std::fflush(stdout);
        sound = check.lost == 0 && check.duplicated == 0 && check.reordered == 0 && check.foreign == 0 &&
                check.unreadable == 0 && !gInterrupted;
    }
    if (gInterrupted) return 130;
    return sound ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;  // no SA_RESTART: waits return and the loops see the flag
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    try {
        return runTargets(parseOptions(argc, argv));
    } catch (const std::invalid_argument& e) {
        std::cerr << "bench_load: " << e.what() << "\n\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "bench_load: " << e.what() << "\n";
        return gInterrupted ? 130 : 1;
    }
}
