#pragma once
// The replies every part of the service builds alike.
#include <string>
#include <string_view>

#include "dataservice/http/message.h"

namespace dataservice {

// The headers every reply carries: no inline script or style, no framing, no sniffing, no
// referrer, no caching. They cost nothing where they do not apply.
void addSecurityHeaders(HttpReply& reply);

// A short plain-text answer ("text" and a line end) with the security headers.
HttpReply textReply(int status, std::string_view text);

// A refusal that says when to come back: 429 (this client failed too often) or 503 (the
// service is busy). The collectors count it as not sent and may try again after that.
HttpReply comeBackLater(int status, std::string_view text, long long retryAfterSeconds);

// A method the service does not take at that address; `allow` lists the ones it does.
HttpReply methodNotAllowed(std::string_view allow);

}  // namespace dataservice
