#pragma once
// One request as the HTTP layer hands it over, and the reply that goes back; independent of the
// HTTP library, so the pages stay testable without a socket.
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dataservice {

using Headers = std::vector<std::pair<std::string, std::string>>;

// Nothing here is trusted.
struct HttpRequest {
    std::string method = "GET";
    // Set together by setPath, so that no page splits the path again.
    std::string path;           // decoded, e.g. "/vantrel/getdata.asp"
    std::string page;           // its last segment, e.g. "getdata.asp"
    std::string folder;         // the segment before that, e.g. "vantrel"; empty when none
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

// Sets the decoded path, and the page and folder it names.
void setPath(HttpRequest& request, std::string path);
// Sets the path from a request line's target as it arrived (percent-encoded, any query after
// "?"), and the raw query.
void setTarget(HttpRequest& request, std::string_view target);

struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
    Headers headers;  // besides Content-Type and Content-Length
};

inline constexpr std::string_view kRecordSetType = "text/xml; charset=utf-8";
inline constexpr std::string_view kPlainTextType = "text/plain; charset=utf-8";
inline constexpr std::string_view kHtmlType = "text/html; charset=utf-8";

}  // namespace dataservice
