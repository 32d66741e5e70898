#pragma once
// The HTTP side of the service: an event-driven server (libmicrohttpd, epoll) on one address
// and port, answering through Pages. Slow or idle clients hold a socket and a little memory,
// never a thread; each request has a deadline from its first byte. Starts in the background;
// stop() (or destruction) ends it cleanly.
#include <memory>
#include <string>

#include "dataservice/pages.h"
#include "dataservice/store.h"

namespace dataservice {

struct ServerOptions {
    std::string host = "127.0.0.1";  // an IPv4 or IPv6 address to listen on
    int port = 0;                    // 0: a free port, see port()
    std::string journalFile;         // when set, journal lines are appended to it as well
    // PEM text of a certificate chain and its key: both set, the server speaks HTTPS only.
    std::string tlsCertificate, tlsKey;
    PagesOptions pages;

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

class Server {
public:
    Server(Store& store, ServerOptions options = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and starts answering on a background thread. Throws std::runtime_error when the
    // address cannot be bound or the journal file cannot be opened.
    void start();
    // Stops answering and waits for the background thread. Safe to call more than once.
    void stop();

    int port() const;
    // "http://HOST:PORT/" (https with TLS): the ServerPath a collector would use.
    std::string address() const;
    Pages& pages();

    struct Impl;  // the library's callbacks reach it

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace dataservice
