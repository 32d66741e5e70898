#include "dataservice/server.h"

namespace dataservice {

Server::Server(Store& store, ServerOptions options)
    : journalPath_(options.journalFile),
      pages_(
          store,
          [this](const JournalEntry& e) {
              if (journal_) journal_->append(e);
          },
          options.pages),
      listener_(pages_, static_cast<ListenerOptions&&>(std::move(options))) {}

Server::~Server() { stop(); }

void Server::start() {
    if (!journalPath_.empty() && !journal_) journal_ = std::make_unique<JournalFile>(journalPath_);
    listener_.start();
}

void Server::stop() { listener_.stop(); }

}  // namespace dataservice
