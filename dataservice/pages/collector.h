#pragma once
// A collector's request on its way: keys checked, the password proven off the event loop, then
// the page's work and its journal entry in one transaction through the store's writer, answered
// once that has committed.
#include <functional>
#include <memory>

#include "dataservice/common/journal_format.h"
#include "dataservice/auth/check_queue.h"
#include "dataservice/http/handler.h"
#include "dataservice/auth/password_check.h"
#include "dataservice/store/store.h"

namespace dataservice {

class CollectorPages {
public:
    using JournalObserver = std::function<void(const JournalEntry&)>;

    CollectorPages(Store& store, PasswordCheck& passwords, CheckQueue& checks, JournalObserver observer)
        : store_(store), passwords_(passwords), checks_(checks), observer_(std::move(observer)) {}

    // A GET of a collector page. `reply` is called exactly once.
    void handle(const HttpRequest& request, const RequestHandler::Reply& reply);

private:
    struct Call;
    void check(const std::shared_ptr<Call>& call);
    void commit(const std::shared_ptr<Call>& call) noexcept;
    void checkAgain(const std::shared_ptr<Call>& call) noexcept;
    void notify(const JournalEntry& entry) noexcept;

    Store& store_;
    PasswordCheck& passwords_;
    CheckQueue& checks_;
    JournalObserver observer_;
};

}  // namespace dataservice
