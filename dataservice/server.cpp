#include "dataservice/server.h"

#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace dataservice {
namespace {

// Connections are served by a pool; a kept-alive connection holds a worker while idle, so
// the pool is larger than the library's default and idle connections are let go in time.
constexpr std::size_t kWorkers = 16;
constexpr std::size_t kKeepAliveRequests = 1000000;
constexpr time_t kKeepAliveSeconds = 10;
constexpr std::size_t kMaxBody = 64 * 1024;  // GETs carry none; anything else is cut short

std::string_view queryOf(const std::string& target) {
    const std::size_t q = target.find('?');
    return q == std::string::npos ? std::string_view() : std::string_view(target).substr(q + 1);
}

// Ends the accepted connections of the server on `port`. A worker waiting on an idle
// kept-alive connection would otherwise hold up stopping until its keep-alive time is out.
void shutDownConnections(int port) {
    DIR* fds = opendir("/proc/self/fd");
    if (!fds) return;
    while (const dirent* entry = readdir(fds)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(fds)) continue;
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&addr), &len) != 0) continue;
        int local = -1;
        if (addr.ss_family == AF_INET) local = ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
        if (addr.ss_family == AF_INET6) local = ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
        if (local != port) continue;  // clients of the server have a port of their own
        int listening = 1;
        socklen_t size = sizeof listening;
        if (getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening)
            continue;
        shutdown(static_cast<int>(fd), SHUT_RDWR);
    }
    closedir(fds);
}

}  // namespace

struct Server::Impl {
    Impl(Store& s, ServerOptions o)
        : store(s), options(std::move(o)), pages(s, [this](const JournalEntry& e) {
              if (journal) journal->append(e);
          }) {}

    Store& store;
    ServerOptions options;
    std::unique_ptr<JournalFile> journal;
    Pages pages;
    httplib::Server http;
    std::thread thread;
    std::atomic<bool> listenEnded{false};
    int port = -1;
    bool started = false;
};

Server::Server(Store& store, ServerOptions options) : impl_(std::make_unique<Impl>(store, std::move(options))) {}

Server::~Server() { stop(); }

void Server::start() {
    Impl& d = *impl_;
    if (d.started) throw std::logic_error("the server is already started");
    if (!d.options.journalFile.empty()) d.journal = std::make_unique<JournalFile>(d.options.journalFile);

    auto& http = d.http;
    http.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    // Only SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which would let a
    // second server bind the same port without an error.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Without these every kept-alive request waits for delayed acknowledgements, and the
    // connection is dropped after five requests.
    http.set_tcp_nodelay(true);
    http.set_keep_alive_max_count(kKeepAliveRequests);
    http.set_keep_alive_timeout(kKeepAliveSeconds);
    http.set_payload_max_length(kMaxBody);

    // Every GET goes to the pages before the library's routing, which would match the
    // whole path with a regular expression.
    http.set_pre_routing_handler([&d](const httplib::Request& req, httplib::Response& res) {
        if (req.method != "GET" && req.method != "HEAD") return httplib::Server::HandlerResponse::Unhandled;
        const HttpReply reply = d.pages.handle(req.path, queryOf(req.target));
        res.status = reply.status;
        res.set_content(reply.body, reply.contentType.c_str());
        return httplib::Server::HandlerResponse::Handled;
    });
    // Errors the library answers by itself (a request line too long or malformed, another
    // method) come here with an empty body; the pages' own errors carry theirs.
    http.set_error_handler(httplib::Server::HandlerWithResponse(
        [&d](const httplib::Request& req, httplib::Response& res) {
            if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            const HttpReply reply = d.pages.refused(res.status, req.path, queryOf(req.target));
            res.set_content(reply.body, reply.contentType.c_str());
            return httplib::Server::HandlerResponse::Handled;
        }));

    if (d.options.port == 0) {
        d.port = http.bind_to_any_port(d.options.host);
    } else if (d.options.port > 0 && d.options.port < 65536 && http.bind_to_port(d.options.host, d.options.port)) {
        d.port = d.options.port;
    }
    if (d.port <= 0)
        throw std::runtime_error("cannot listen on " + d.options.host + " port " + std::to_string(d.options.port));

    d.thread = std::thread([&d] {
        // Signals are for the program's main thread; a peer that goes away must give EPIPE,
        // not end the process. The workers inherit this mask.
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        d.http.listen_after_bind();
        d.listenEnded = true;
    });
    // stop() only takes effect once the accept loop runs.
    while (!http.is_running() && !d.listenEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    d.started = true;
}

void Server::stop() {
    Impl& d = *impl_;
    if (!d.started) return;
    d.http.stop();
    // The accept loop has ended; the pool still waits for its workers. Connections accepted
    // just before the stop may appear meanwhile, hence the repeated sweep.
    while (!d.listenEnded) {
        shutDownConnections(d.port);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (d.thread.joinable()) d.thread.join();
    d.started = false;
}

int Server::port() const { return impl_->port; }

std::string Server::address() const {
    const std::string& host = impl_->options.host;
    const bool v6 = host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(impl_->port) + "/";
}

Pages& Server::pages() { return impl_->pages; }

}  // namespace dataservice
