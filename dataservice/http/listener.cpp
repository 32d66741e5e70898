#include "dataservice/http/listener.h"

#include <arpa/inet.h>
#include <gnutls/abstract.h>
#include <gnutls/gnutls.h>
#include <microhttpd.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "dataservice/http/deadline_watch.h"
#include "dataservice/http/replies.h"
#include "dataservice/http/response_cache.h"
#include "dataservice/operation/log_and_limits.h"
#include "platform/common/text.h"

namespace dataservice {
namespace {

// One request: the target as it came on the request line, what it gives (decoded once, at the
// first call), and a form's body. Once handed to the handler it waits, suspended, for their
// reply, which may come from another thread.
struct RequestState {
    std::string target;
    HttpRequest fromTarget;  // path, page, folder and query
    std::string body;
    bool post = false;  // a POST the address takes
    bool started = false;
    bool handedOver = false;
    std::mutex mutex;  // guards the two below
    std::optional<HttpReply> reply;
    bool suspended = false;
};

std::string addressText(const sockaddr* addr) {
    char buf[INET6_ADDRSTRLEN] = "";
    if (!addr) return {};
    if (addr->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(addr)->sin_addr, buf, sizeof buf);
    else if (addr->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr, buf, sizeof buf);
    return buf;
}

// TLS 1.2 and 1.3 only; under 1.2 only ephemeral elliptic-curve key exchange with AES-GCM or
// ChaCha20-Poly1305, so every session has forward secrecy and an AEAD cipher. The server's
// order wins.
constexpr char kTlsPriorities[] =
    "NONE:+VERS-TLS1.3:+VERS-TLS1.2:+ECDHE-ECDSA:+ECDHE-RSA:+AES-256-GCM:+AES-128-GCM:+CHACHA20-POLY1305:"
    "+AEAD:+SIGN-ALL:+GROUP-EC-ALL:+COMP-NULL:%SERVER_PRECEDENCE";

// A certificate chain and its key as GnuTLS hands them to a handshake.
struct TlsPair {
    std::vector<gnutls_pcert_st> chain;
    gnutls_privkey_t key = nullptr;
    TlsPair() = default;
    TlsPair(const TlsPair&) = delete;
    TlsPair& operator=(const TlsPair&) = delete;
    ~TlsPair() {
        for (auto& c : chain) gnutls_pcert_deinit(&c);
        if (key) gnutls_privkey_deinit(key);
    }
};

std::shared_ptr<TlsPair> loadPair(const std::string& certificate, const std::string& key) {
    auto pair = std::make_shared<TlsPair>();
    gnutls_datum_t certText{reinterpret_cast<unsigned char*>(const_cast<char*>(certificate.data())),
                            static_cast<unsigned>(certificate.size())};
    unsigned count = 16;
    std::vector<gnutls_pcert_st> chain(count);
    if (gnutls_pcert_list_import_x509_raw(chain.data(), &count, &certText, GNUTLS_X509_FMT_PEM, 0) < 0 || count == 0)
        throw std::runtime_error("the certificate is not a PEM certificate chain");
    chain.resize(count);
    pair->chain = std::move(chain);
    gnutls_datum_t keyText{reinterpret_cast<unsigned char*>(const_cast<char*>(key.data())),
                           static_cast<unsigned>(key.size())};
    if (gnutls_privkey_init(&pair->key) < 0 ||
        gnutls_privkey_import_x509_raw(pair->key, &keyText, GNUTLS_X509_FMT_PEM, nullptr, 0) < 0)
        throw std::runtime_error("the key is not a PEM private key");
    // A key that is not the certificate's would fail every handshake: prove the pair signs.
    const unsigned char probe[] = "vantrel";
    gnutls_datum_t data{const_cast<unsigned char*>(probe), sizeof probe}, signature{};
    const auto algorithm = gnutls_pk_to_sign(static_cast<gnutls_pk_algorithm_t>(
                                                 gnutls_privkey_get_pk_algorithm(pair->key, nullptr)),
                                             GNUTLS_DIG_SHA256);
    const bool signs = gnutls_privkey_sign_data(pair->key, GNUTLS_DIG_SHA256, 0, &data, &signature) >= 0;
    const bool matches =
        signs && gnutls_pubkey_verify_data2(pair->chain[0].pubkey, algorithm, 0, &data, &signature) >= 0;
    gnutls_free(signature.data);
    if (!matches) throw std::runtime_error("the key does not belong to the certificate");
    return pair;
}

std::string header(MHD_Connection* c, const char* name) {
    const char* v = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
    return v ? v : "";
}

}  // namespace

struct Listener::Impl {
    Impl(RequestHandler& h, ListenerOptions o)
        : handler(h), options(std::move(o)), watch(std::chrono::seconds(options.requestSeconds)) {}

    RequestHandler& handler;
    ListenerOptions options;
    ResponseCache responses;  // outlives the daemon, whose connections may hold its responses
    // The pair new handshakes get, and the pair each open TLS session was given: a session uses
    // its pair until it closes, so a pair replaced meanwhile goes with its last session.
    std::mutex tlsMutex;
    std::shared_ptr<TlsPair> tls;
    std::map<gnutls_session_t, std::shared_ptr<TlsPair>> tlsInUse;
    MHD_Daemon* daemon = nullptr;
    int port = -1;
    DeadlineWatch watch;
    std::atomic<std::uint64_t> refused{0};  // connections closed on arrival at a limit
    std::atomic<std::uint64_t> activity{0};  // events the loops handled: they are not stuck

    // Requests handed over: not yet answered (a parked connection must be resumed before the
    // library may stop), and not yet done with (the answer may still be going out).
    std::mutex flightMutex;
    std::condition_variable allLanded;
    int unanswered = 0;
    int unfinished = 0;
    bool closing = false;

    MHD_Result answer(MHD_Connection* c, const char* method, const char* uploadData, std::size_t* uploadSize,
                      void** requestCls) {
        auto* rs = static_cast<RequestState*>(*requestCls);
        if (!rs) return MHD_NO;
        const std::string_view verb = method;
        if (!rs->started) return begin(c, *rs, verb);
        if (*uploadSize > 0) {
            if (!rs->post || rs->body.size() + *uploadSize > options.maxFormBody)
                return send(c, textReply(413, "request too large"));
            rs->body.append(uploadData, *uploadSize);
            *uploadSize = 0;
            return MHD_YES;
        }
        // The request is in: from here the page's time is not the client's.
        if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT))
            if (auto* cs = static_cast<DeadlineWatch::Connection*>(info->socket_context)) cs->busy = true;
        if (verb == "HEAD") return send(c, handler.head(request(c, *rs, verb)));
        if (rs->handedOver) {  // resumed: the reply has come
            std::optional<HttpReply> reply;
            {
                std::lock_guard lock(rs->mutex);
                reply = std::move(rs->reply);
            }
            return reply ? send(c, *reply) : MHD_YES;
        }
        return handOver(c, *rs, verb);
    }

    // The request line and headers are in: the target is decoded, and what cannot be answered
    // is refused before a byte of a body is read.
    MHD_Result begin(MHD_Connection* c, RequestState& rs, std::string_view verb) {
        rs.started = true;
        setTarget(rs.fromTarget, rs.target);
        const std::string allowed = handler.allowedMethods(rs.fromTarget);
        rs.post = verb == "POST" && allowed.find("POST") != std::string::npos;
        if (MHD_get_connection_values(c, MHD_HEADER_KIND, nullptr, nullptr) > static_cast<int>(options.maxHeaders))
            return send(c, textReply(431, "too many header fields"));
        // Refused at once; the library closes the connection rather than read a body.
        if (verb != "GET" && verb != "HEAD" && !rs.post) return send(c, methodNotAllowed(allowed));
        // A form announced too large is refused before a byte of it is read.
        const std::string length = header(c, "Content-Length");
        const auto announced = length.empty() ? std::optional<std::size_t>(0) : text::ParseWhole<std::size_t>(length);
        if (rs.post && (length.size() > 9 || !announced || *announced > options.maxFormBody))
            return send(c, textReply(413, "request too large"));
        return MHD_YES;  // the reply goes out once the whole request is in
    }

    // Gives the request to the pages and, unless they answer at once, parks the connection
    // until they do: the loop goes on serving other clients while a page waits for its commit.
    MHD_Result handOver(MHD_Connection* c, RequestState& rs, std::string_view verb) {
        {
            std::lock_guard lock(flightMutex);
            if (closing) return send(c, textReply(503, "the service is stopping"));
            ++unanswered;
            ++unfinished;
        }
        rs.handedOver = true;
        RequestState* state = &rs;
        handler.handle(request(c, rs, verb), [this, c, state](HttpReply reply) {
            bool resume = false;
            {
                std::lock_guard lock(state->mutex);
                state->reply = std::move(reply);
                resume = state->suspended;
            }
            // The state and the connection are the library's again from here.
            if (resume) MHD_resume_connection(c);
            settle(unanswered);
        });
        std::lock_guard lock(rs.mutex);
        if (rs.reply) return send(c, *rs.reply);
        MHD_suspend_connection(c);
        rs.suspended = true;
        return MHD_YES;
    }

    MHD_Result send(MHD_Connection* c, const HttpReply& reply) {
        if (options.tlsCertificate.empty()) return responses.send(c, reply);
        // Browsers that have seen HTTPS here once never fall back to plain HTTP for a year.
        HttpReply secured = reply;
        secured.headers.emplace_back("Strict-Transport-Security", "max-age=31536000");
        return responses.send(c, secured);
    }

    void settle(int& count) {
        std::lock_guard lock(flightMutex);
        if (--count == 0) allLanded.notify_all();
    }

    // Called once per request, with the whole of it in.
    HttpRequest request(MHD_Connection* c, RequestState& rs, std::string_view method) const {
        HttpRequest r = std::move(rs.fromTarget);
        r.method = std::string(method);
        r.body = std::move(rs.body);
        r.cookies = header(c, "Cookie");
        r.origin = header(c, "Origin");
        r.host = header(c, "Host");
        if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
            r.clientAddress = addressText(info->client_addr);
        r.secure = !options.tlsCertificate.empty();
        if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD)) {
            const int fd = info->connect_fd;
            r.clientGone = [fd] {
                pollfd p{fd, POLLRDHUP, 0};
                return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
            };
        }
        return r;
    }
};

namespace {

MHD_Result onRequest(void* cls, MHD_Connection* c, const char*, const char* method, const char*,
                     const char* uploadData, std::size_t* uploadSize, void** requestCls) {
    try {
        return static_cast<Listener::Impl*>(cls)->answer(c, method, uploadData, uploadSize, requestCls);
    } catch (...) {
        return MHD_NO;  // the library closes the connection
    }
}

// Called once the request line is in: keeps the target exactly as sent (the library would
// decode the path and split the query by rules of its own).
void* onRequestLine(void*, const char* uri, MHD_Connection*) {
    auto* rs = new (std::nothrow) RequestState;
    if (rs) rs->target = uri;
    return rs;
}

void onCompleted(void* cls, MHD_Connection* c, void** requestCls, MHD_RequestTerminationCode) {
    auto* rs = static_cast<RequestState*>(*requestCls);
    auto* d = static_cast<Listener::Impl*>(cls);
    d->activity.fetch_add(1, std::memory_order_relaxed);
    if (rs && rs->handedOver) d->settle(d->unfinished);
    delete rs;
    *requestCls = nullptr;
    if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT))
        if (auto* cs = static_cast<DeadlineWatch::Connection*>(info->socket_context))
            cs->restart();  // the next request's clock starts
}

void onConnection(void* cls, MHD_Connection* c, void** socketContext, MHD_ConnectionNotificationCode code) {
    auto* d = static_cast<Listener::Impl*>(cls);
    d->activity.fetch_add(1, std::memory_order_relaxed);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
        *socketContext = d->watch.track(info ? info->connect_fd : -1);
    } else if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        if (auto* cs = static_cast<DeadlineWatch::Connection*>(*socketContext)) d->watch.forget(cs);
        *socketContext = nullptr;
        if (d->options.tlsCertificate.empty()) return;
        if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_GNUTLS_SESSION)) {
            std::lock_guard lock(d->tlsMutex);
            d->tlsInUse.erase(static_cast<gnutls_session_t>(info->tls_session));
        }
    }
}

// The library's own messages: refusals at the connection limits counted (the operator sees them in
// a summary, not a line each), running out of descriptors or threads told at once, the rest (a
// peer gone, a bad handshake) left out.
void onLibraryMessage(void* cls, const char* format, va_list args) {
    static constexpr std::string_view kLimit = "Server reached connection limit";
    if (std::string_view(format).substr(0, kLimit.size()) == kLimit) {
        static_cast<Listener::Impl*>(cls)->refused.fetch_add(1, std::memory_order_relaxed);
        static_cast<Listener::Impl*>(cls)->activity.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (!std::strstr(format, "resource limit") && !std::strstr(format, "Failed to create a new")) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string message(text);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    logEvent("http-trouble", {{"message", message}});
}

// The listeners speaking TLS, by port: the library's certificate callback has no pointer of its
// own, but the socket says which port it came to.
std::mutex tlsListenersMutex;
std::map<int, Listener::Impl*> tlsListeners;

int onCertificate(gnutls_session_t session, const gnutls_datum_t*, int, const gnutls_pk_algorithm_t*, int,
                  gnutls_pcert_st** chain, unsigned* chainLength, gnutls_privkey_t* key) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(gnutls_transport_get_int(session), reinterpret_cast<sockaddr*>(&local), &length) != 0) return -1;
    const int port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                                       : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    std::lock_guard lock(tlsListenersMutex);
    const auto found = tlsListeners.find(port);
    if (found == tlsListeners.end()) return -1;
    std::lock_guard pairLock(found->second->tlsMutex);
    TlsPair& pair = *(found->second->tlsInUse[session] = found->second->tls);
    *chain = pair.chain.data();
    *chainLength = static_cast<unsigned>(pair.chain.size());
    *key = pair.key;
    return 0;
}

}  // namespace

Listener::Listener(RequestHandler& handler, ListenerOptions options)
    : impl_(std::make_unique<Impl>(handler, std::move(options))) {}

Listener::~Listener() { stop(); }

// The address to listen on, from its text; its family. Throws for a text that is no address.
int socketAddress(const std::string& host, int port, sockaddr_storage& addr) {
    if (auto* v4 = reinterpret_cast<sockaddr_in*>(&addr); inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        return AF_INET;
    }
    if (auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr); inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        return AF_INET6;
    }
    throw std::runtime_error("cannot listen on " + host + ": not an IPv4 or IPv6 address");
}

void Listener::start() {
    Impl& d = *impl_;
    if (d.daemon) throw std::logic_error("the server is already started");
    if (d.options.tlsCertificate.empty() != d.options.tlsKey.empty())
        throw std::runtime_error("TLS needs both a certificate and its key");

    sockaddr_storage addr{};
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    const std::string& host = d.options.host;
    const bool portOk = d.options.port >= 0 && d.options.port < 65536;
    if (socketAddress(host, d.options.port, addr) == AF_INET6) flags |= MHD_USE_IPv6;
    if (!d.options.tlsCertificate.empty()) flags |= MHD_USE_TLS;

    // Pages no longer run on the loops, so more loops than cores would only take turns.
    const unsigned loops = d.options.threads ? d.options.threads : std::max(1u, std::thread::hardware_concurrency());
    std::vector<MHD_OptionItem> opts = {
        // First, so that what the library says about the options after it comes here too.
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&onLibraryMessage), &d},
        {MHD_OPTION_SOCK_ADDR, 0, &addr},
        {MHD_OPTION_THREAD_POOL_SIZE, static_cast<intptr_t>(loops), nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(d.options.maxConnections), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(d.options.maxConnectionsPerAddress), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(d.options.idleSeconds), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(d.options.connectionMemory), nullptr},
        // The kernel's default of a few hundred drops connections when a fleet's collectors
        // arrive together; the kernel caps this at net.core.somaxconn.
        {MHD_OPTION_LISTEN_BACKLOG_SIZE, static_cast<intptr_t>(d.options.listenBacklog), nullptr},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&onRequestLine), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&onCompleted), &d},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&onConnection), &d},
    };
    const bool tls = !d.options.tlsCertificate.empty();
    if (tls) {
        {
            std::lock_guard lock(d.tlsMutex);
            d.tls = loadPair(d.options.tlsCertificate, d.options.tlsKey);
        }
        // One pointer: in an option array it goes where the pointers go.
        opts.push_back({MHD_OPTION_HTTPS_CERT_CALLBACK, 0, reinterpret_cast<void*>(&onCertificate)});
        opts.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
    }
    opts.push_back({MHD_OPTION_END, 0, nullptr});

    {
        // A handshake that comes before the port is known waits here for it.
        std::unique_lock registry(tlsListenersMutex, std::defer_lock);
        if (tls) registry.lock();
        if (portOk)
            d.daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &onRequest, &d, MHD_OPTION_ARRAY, opts.data(),
                                        MHD_OPTION_END);
        if (!d.daemon)
            throw std::runtime_error("cannot listen on " + host + " port " + std::to_string(d.options.port));
        const auto* info = MHD_get_daemon_info(d.daemon, MHD_DAEMON_INFO_BIND_PORT);
        d.port = info ? info->port : d.options.port;
        if (tls) tlsListeners[d.port] = &d;
    }
    d.closing = false;
    d.watch.start();
}

void Listener::stop() {
    Impl& d = *impl_;
    if (!d.daemon) return;
    d.watch.stop();
    {
        // What was handed over is answered (the writer and the password checks end by
        // themselves); what comes from now on is refused.
        std::unique_lock lock(d.flightMutex);
        d.closing = true;
        d.allLanded.wait(lock, [&d] { return d.unanswered == 0; });
        // The answers go out on the loops, which run until the library stops; a client that
        // does not take its answer is not waited for long.
        d.allLanded.wait_for(lock, std::chrono::seconds(5), [&d] { return d.unfinished == 0; });
    }
    // Closes every connection, kept-alive ones included, and waits for the event threads.
    MHD_stop_daemon(d.daemon);
    d.daemon = nullptr;
    {
        std::lock_guard lock(tlsListenersMutex);
        if (const auto found = tlsListeners.find(d.port); found != tlsListeners.end() && found->second == &d)
            tlsListeners.erase(found);
    }
    std::lock_guard lock(d.tlsMutex);
    d.tlsInUse.clear();
    d.tls.reset();
}

void Listener::replaceCertificate(const std::string& certificate, const std::string& key) {
    Impl& d = *impl_;
    if (d.options.tlsCertificate.empty()) throw std::runtime_error("the service does not speak TLS");
    auto pair = loadPair(certificate, key);
    std::lock_guard lock(d.tlsMutex);
    d.tls = std::move(pair);
}

std::size_t Listener::certificatePairsHeld() const {
    std::lock_guard lock(impl_->tlsMutex);
    std::set<const TlsPair*> held;
    if (impl_->tls) held.insert(impl_->tls.get());
    for (const auto& [session, pair] : impl_->tlsInUse) held.insert(pair.get());
    return held.size();
}

int Listener::port() const { return impl_->port; }

std::uint64_t Listener::activity() const { return impl_->activity.load(std::memory_order_relaxed); }

std::uint64_t Listener::refusedConnections() const { return impl_->refused.load(std::memory_order_relaxed); }

long Listener::openConnections() const {
    if (!impl_->daemon) return 0;
    const auto* info = MHD_get_daemon_info(impl_->daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    return info ? static_cast<long>(info->num_connections) : 0;
}

std::string Listener::address() const {
    const std::string& host = impl_->options.host;
    const bool v6 = host.find(':') != std::string::npos;
    const char* scheme = impl_->options.tlsCertificate.empty() ? "http://" : "https://";
    return scheme + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(impl_->port) + "/";
}


}  // namespace dataservice
