#pragma once
// The service's pages: which keys each one takes, what it stores and what it answers.
// Independent of the HTTP library, so the server glue stays thin and tests can call it.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dataservice/journal.h"
#include "dataservice/passwords.h"
#include "dataservice/store.h"
#include "dataservice/work_pool.h"

namespace dataservice {

// The inventory categories items are stored under, one per upload page.
namespace category {
inline constexpr std::string_view kSoftware = "Software";        // sftdata.asp, qIS
inline constexpr std::string_view kSound = "Sound";              // sounddata.asp
inline constexpr std::string_view kVideo = "Video";              // videodata.asp
inline constexpr std::string_view kPrinter = "Printer";          // printdata.asp
inline constexpr std::string_view kMakeAndModel = "MMS";         // MMSdata.asp
inline constexpr std::string_view kBios = "BIOS";                // mainhwddata.asp (with ConfigDate)
inline constexpr std::string_view kOperatingSystem = "OS";       // OSdata.asp
inline constexpr std::string_view kNetworkAdapter = "NIC";       // NICdata.asp
}  // namespace category

using Headers = std::vector<std::pair<std::string, std::string>>;

// One request as the HTTP layer hands it over; nothing here is trusted.
struct HttpRequest {
    std::string method = "GET";
    std::string path;           // decoded, e.g. "/vantrel/getdata.asp"
    std::string rawQuery;       // the text after "?", as it arrived
    std::string body;           // a form's body (POST only)
    std::string cookies;        // the Cookie header
    std::string origin;         // the Origin header, empty when none came
    std::string host;           // the Host header
    std::string clientAddress;  // the peer's address, for the sign-in limits
    bool secure = false;        // arrived over TLS
    // True once the client has closed its side: it has stopped waiting for the answer. Not set
    // when the caller cannot tell.
    std::function<bool()> clientGone;
};

struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
    Headers headers;  // besides Content-Type and Content-Length
};

inline constexpr std::string_view kRecordSetType = "text/xml; charset=utf-8";

struct PagesOptions {
    SignInLimits signIn;
    std::int64_t sessionSeconds = 3600;        // a profile-page sign-in lasts this long
    std::int64_t purgeIntervalSeconds = 600;   // how often expired rows are swept
};

class Pages {
public:
    using JournalObserver = std::function<void(const JournalEntry&)>;
    using Reply = std::function<void(HttpReply)>;

    // `observer` sees every journal entry once its request has been committed.
    explicit Pages(Store& store, JournalObserver observer = {}, PagesOptions options = {});

    // One request (GET, or a form's POST on the profile page), answered through `reply` exactly
    // once: at once, or from another thread when the page waits for a password check or for
    // its transaction, which holds the page's work and its journal entry and has committed
    // before the reply goes out. Never throws.
    void handle(const HttpRequest& request, Reply reply);
    // The same, waited for.
    HttpReply handle(const HttpRequest& request);
    // A GET of `path` with `rawQuery`, from nowhere in particular.
    HttpReply handle(const std::string& path, std::string_view rawQuery);

    // What a HEAD gets: the status and type a GET would have, no body, nothing run or stored.
    HttpReply head(const HttpRequest& request);

    // A method the pages do not take at that address; `allow` lists the ones they do.
    static HttpReply methodNotAllowed(std::string_view allow);
    // The methods an address takes.
    static std::string allowedMethods(const std::string& path);

    PasswordVerifier& verifier() { return verifier_; }
    const PagesOptions& options() const { return options_; }

    // Checks a subscriber's password behind the sign-in limits: a pair verified a moment ago
    // passes; otherwise, once the account or the address has failed too often, the answer is
    // "no" without any key derivation. A failure is counted.
    std::optional<Credentials> checkPassword(const std::string& name, const std::string& password,
                                             const std::string& address, bool* limited = nullptr);

private:
    struct CollectorCall;
    void collectorPage(const HttpRequest& request, Reply reply);
    void commitCollectorPage(const std::shared_ptr<CollectorCall>& call) noexcept;
    HttpReply profilePage(const HttpRequest& request);
    void maybePurge() noexcept;
    void notify(const JournalEntry& entry) noexcept;

    Store& store_;
    JournalObserver observer_;
    PagesOptions options_;
    PasswordVerifier verifier_;
    std::atomic<std::int64_t> lastPurge_{0};
    WorkPool checks_;  // last: its tasks use the members above until it has ended
};

}  // namespace dataservice
