#pragma once
// The data service client: every address the program requests or hands to the browser,
// the query keys in their order, the evaluation twins, and how replies are read.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/common/date.h"
#include "platform/recordset/recordset.h"
#include "platform/shell/shell.h"

namespace service {

// A reply: its record count and the first record's fields by position.
using ServiceReply = platform::RecordSet;

// A page and its (key, value) pairs in order; values are plain text, encoded on the wire.
struct Request {
    std::string page;
    std::vector<std::pair<std::string, std::string>> query;
};

// ServerPath + page + "?" + key=value pairs joined with "&"; every value percent-encoded
// (UTF-8, all but A-Z a-z 0-9 - . _ ~), page and keys as they are.
std::string BuildAddress(const std::string& serverPath, const Request& request);

// Who the run uploads for: a subscriber (name and password) or an evaluating user (EvalID).
struct Identity {
    bool isSubscriber = true;
    std::string userName;
    std::string userPassword;
    std::string evalId;
};

// The upload pages; an evaluating user's requests go to the "eval" twin of each.
enum class Upload { Software, Sound, Video, Printer, MakeAndModel, Bios, OperatingSystem, NetworkCard };

Request VersionRequest(int major, int minor, int revision);                   // getversion.asp
Request AccountRequest(const std::string& userName, const std::string& userPassword);  // getdata.asp
Request RegistrationRequest(const std::string& evalId);                       // gettemp.asp
Request ProfileResetRequest(const Identity& who, platform::Date created,
                            platform::Date lastUpdated);                      // updatedata.asp / twin
// `data` holds the upload's data values in key order (the BIOS page: ConfigDate text, BIOS text).
Request UploadRequest(Upload page, const Identity& who, const std::vector<std::string>& data);
Request FinalizeRequest(const Identity& who);                                 // finalize.asp (no twin)

// Dates as the user's regional settings write them (LC_TIME): the short date, then a blank and
// the long time when the time of day is not midnight; the zero date gives the long time of midnight.
std::string DateText(platform::Date date);

// The platform's conversion of a field to a date: a date is used as it is, a number counts days,
// a text is parsed in the regional date form. Throws PlatformError when it cannot be converted.
platform::Date FieldToDate(const platform::FieldValue& value);

class ServiceClient {
public:
    ServiceClient(platform::RecordSource& source, const std::string& serverPath)
        : source_(source), serverPath_(serverPath) {}
    // Performs the request synchronously. Throws PlatformError on any failure.
    ServiceReply ServiceRequest(const Request& request) const;
    // The same for a request whose failure the caller shrugs off: the platform may give up sooner.
    ServiceReply BriefServiceRequest(const Request& request) const;

private:
    platform::RecordSource& source_;
    const std::string& serverPath_;  // the shared value, read at each request
};

// The service's public web site, and the addresses on it that texts and links name.
const std::string& SiteAddress();                // e.g. "http://www.vantrelnet.example"
std::string SiteAddressWithPath(const std::string& path);  // SiteAddress() + path
// A text that sends the reader to the site: lead + SiteAddress() + tail, or with a page of the
// site: lead + SiteAddressWithPath(path) + tail.
std::string AroundSiteAddress(std::string_view lead, std::string_view tail);
std::string AroundSiteAddress(std::string_view lead, const std::string& path, std::string_view tail);

// The root of ServerPath: scheme, "://", host (and port) and "/". Nothing when ServerPath
// holds no scheme and host.
std::optional<std::string> SiteRoot(const std::string& serverPath);
// SiteRoot + "profile/hwsw.asp"; nothing when there is no root.
std::optional<std::string> ProfileAddress(const std::string& serverPath);

// Hands `address` to the shell's default handler; the result is not examined.
void OpenInBrowser(platform::Shell& shell, const std::string& address, const std::string& verb,
                   platform::WindowHandle owner);

}  // namespace service
