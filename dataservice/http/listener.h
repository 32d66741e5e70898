#pragma once
// The HTTP side of the service: an event-driven server (libmicrohttpd, epoll) on one address
// and port, handing each request to a RequestHandler. Slow or idle clients hold a socket and a
// little memory, never a thread; each request has a deadline from its first byte. Starts in the
// background; stop() (or destruction) ends it cleanly.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "dataservice/http/handler.h"

namespace dataservice {

struct ListenerOptions {
    std::string host = "127.0.0.1";  // an IPv4 or IPv6 address to listen on
    int port = 0;                    // 0: a free port, see port()
    // PEM text of a certificate chain and its key: both set, the server speaks HTTPS only:
    // TLS 1.2 and 1.3, forward-secret AEAD suites only, with Strict-Transport-Security.
    std::string tlsCertificate, tlsKey;

    unsigned threads = 0;                    // event loops; 0: one per core
    unsigned maxConnections = 1000;
    unsigned listenBacklog = 4096;           // connections the kernel holds before accept
    unsigned maxConnectionsPerAddress = 200;
    int requestSeconds = 10;                 // from a request's first byte to its whole head
    int idleSeconds = 15;                    // a kept-alive connection with nothing to say
    std::size_t connectionMemory = 16 * 1024;  // request line and headers must fit in this
    std::size_t maxHeaders = 64;
    std::size_t maxFormBody = 4096;
};

class Listener {
public:
    Listener(RequestHandler& handler, ListenerOptions options);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Binds and starts answering on background threads. Throws std::runtime_error when the
    // address cannot be bound.
    void start();
    // Answers what was handed over, refuses what comes after, and ends. Safe to call twice.
    void stop();

    int port() const;
    // Takes a new certificate chain and key (PEM) for the connections that come from now on;
    // the ones open keep theirs. Throws std::runtime_error, keeping the pair in use, when the
    // new one cannot be read or the key is not the certificate's.
    void replaceCertificate(const std::string& certificate, const std::string& key);
    // Certificate pairs held: the one new connections get, and older ones open sessions still use.
    std::size_t certificatePairsHeld() const;
    // Client connections open now (0 when not started).
    long openConnections() const;
    // Connections closed on arrival since the start: the listener's or one address's limit was
    // reached.
    std::uint64_t refusedConnections() const;
    // A count that moves whenever an event loop accepts, refuses or finishes a connection or a
    // request: the watchdog's proof that the loops are not stuck.
    std::uint64_t activity() const;
    // "http://HOST:PORT/" (https with TLS).
    std::string address() const;

    struct Impl;  // the library's callbacks reach it

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace dataservice
