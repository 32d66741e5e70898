#pragma once
// The service's pages: which keys each one takes, what it stores and what it answers.
// Independent of the HTTP library, so the server glue stays thin and tests can call it.
#include <functional>
#include <string>
#include <string_view>

#include "dataservice/journal.h"
#include "dataservice/passwords.h"
#include "dataservice/store.h"

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

struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
};

inline constexpr std::string_view kRecordSetType = "text/xml; charset=utf-8";

class Pages {
public:
    using JournalObserver = std::function<void(const JournalEntry&)>;

    // `observer` sees every journal entry once its request has been committed.
    explicit Pages(Store& store, JournalObserver observer = {});

    // One GET: `path` is the decoded path ("/vantrel/getdata.asp"), `rawQuery` the text after
    // "?" as it arrived. Runs in one transaction with its journal entry; never throws.
    HttpReply handle(const std::string& path, std::string_view rawQuery);

    // A request the HTTP layer refused before it reached a page (too long, malformed, not a GET):
    // journalled with the status it got, and given a short text body.
    HttpReply refused(int status, const std::string& path, std::string_view rawQuery);

    PasswordVerifier& verifier() { return verifier_; }

private:
    void notify(const JournalEntry& entry) noexcept;

    Store& store_;
    JournalObserver observer_;
    PasswordVerifier verifier_;
};

}  // namespace dataservice
