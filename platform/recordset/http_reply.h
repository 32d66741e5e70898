#pragma once
// What the HTTP record sources of every system share around the transfer itself: the address
// checks, the reply's size limit, the status rules (a busy service told apart from any other
// failure) and the reading of the body. The backends move the bytes; this decides what they mean.
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/recordset/recordset.h"

namespace platform::http {

inline constexpr std::size_t kMaxReplyBytes = 4 * 1024 * 1024;

// Addresses carry the password in their query: messages name the page only.
std::string WithoutQuery(const std::string& address);
// The scheme, host and port of an address (the whole address when it has no "://").
std::string OriginOf(const std::string& address);
// Throws PlatformError unless the address is http:// or https://: a backend would otherwise
// guess a scheme and look the page name up as a host.
void RequireHttpAddress(const std::string& address);
[[noreturn]] void Fail(const std::string& address, const std::string& why);
// The failure's reason for a reply over kMaxReplyBytes.
std::string TooLargeReason();

struct Reply {
    long status = 0;
    std::string retryAfter;  // the Retry-After header's value; "" when there is none
    std::string body;
};

// The record set in a 2xx reply. A 503 or 429 whose Retry-After is understood throws ServiceBusy;
// any other status, or a body that is no record set, throws PlatformError.
RecordSet ReadReply(const std::string& address, const Reply& reply,
                    std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// Retry-After's value: delta-seconds, or an HTTP date (the IMF-fixdate form) counted from `now`
// (a date already past gives zero). Nothing for anything else.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::chrono::system_clock::time_point now);

}  // namespace platform::http
