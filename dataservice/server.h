#pragma once
// The service as one piece: the HTTP listener answering through the pages over a store, and
// the journal file the pages' entries are copied to.
#include <memory>
#include <string>

#include "dataservice/common/journal_format.h"
#include "dataservice/http/listener.h"
#include "dataservice/pages/site.h"
#include "dataservice/store/store.h"

namespace dataservice {

struct ServerOptions : ListenerOptions {
    std::string journalFile;  // when set, journal lines are appended to it as well
    PagesOptions pages;
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
    // Stops answering and waits for the background threads. Safe to call more than once.
    void stop();

    int port() const { return listener_.port(); }
    // "http://HOST:PORT/" (https with TLS): the ServerPath a collector would use.
    std::string address() const { return listener_.address(); }
    Pages& pages() { return pages_; }

private:
    std::string journalPath_;
    std::unique_ptr<JournalFile> journal_;
    Pages pages_;
    Listener listener_;
};

}  // namespace dataservice
