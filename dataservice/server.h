#pragma once
// The HTTP side of the service: a threaded server on one address and port, answering every
// GET through Pages. Starts in the background; stop() (or destruction) ends it cleanly.
#include <memory>
#include <string>

#include "dataservice/pages.h"
#include "dataservice/store.h"

namespace dataservice {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 0;             // 0: a free port, see port()
    std::string journalFile;  // when set, journal lines are appended to it as well
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
    // "http://HOST:PORT/": the ServerPath a collector would use.
    std::string address() const;
    Pages& pages();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace dataservice
