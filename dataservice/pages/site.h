#pragma once
// The service's pages as one site: the collector's pages, and the profile page below /profile/
// with its two static files. Independent of the HTTP library, so the listener stays thin and
// tests can call it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dataservice/auth/check_queue.h"
#include "dataservice/common/journal_format.h"
#include "dataservice/common/work_pool.h"
#include "dataservice/http/handler.h"
#include "dataservice/pages/collector.h"
#include "dataservice/auth/password_check.h"
#include "dataservice/profile/signin.h"
#include "dataservice/store/store.h"

namespace dataservice {

struct PagesOptions {
    SignInLimits signIn;
    std::int64_t sessionSeconds = 3600;        // a profile-page sign-in lasts this long
    std::int64_t purgeIntervalSeconds = 600;   // how often expired rows are swept
    // A password check that could not start this soon is refused as busy.
    std::chrono::milliseconds checkBound{1000};
};

// Whether the request is for the profile's folder ("profile", in any case), where its page and
// files are.
bool inProfileFolder(const HttpRequest& request);

class Pages final : public RequestHandler {
public:
    using JournalObserver = CollectorPages::JournalObserver;

    // `observer` sees every journal entry once its request has been committed.
    explicit Pages(Store& store, JournalObserver observer = {}, PagesOptions options = {});

    // One request (GET, or a form's POST on the profile page), answered through `reply` exactly
    // once: at once, or from another thread when the page waits for a password check, a read
    // or its transaction, which holds the page's work and its journal entry and has committed
    // before the reply goes out. Never throws.
    void handle(const HttpRequest& request, Reply reply) override;
    // The same, waited for.
    HttpReply handle(const HttpRequest& request);
    // A GET of `path` with `rawQuery`, from nowhere in particular.
    HttpReply handle(const std::string& path, std::string_view rawQuery);

    HttpReply head(const HttpRequest& request) override;
    std::string allowedMethods(const HttpRequest& request) const override;

    PasswordVerifier& verifier() { return passwords_.verifier(); }
    const PagesOptions& options() const { return options_; }

private:
    void maybePurge() noexcept;

    Store& store_;
    PagesOptions options_;
    PasswordCheck passwords_;
    profile::ProfilePage profilePage_;
    std::atomic<std::int64_t> lastPurge_{0};
    CollectorPages collector_;  // hands its password checks to checks_ below
    // Last: their tasks use the members above until they have ended.
    CheckQueue checks_;  // password checks, which keep a core busy for a good part of a second
    WorkPool reads_;   // profile pages, which read the store and must not wait behind a check
};

}  // namespace dataservice
