#include "platform/recordset/http_reply.h"

#include <array>
#include <limits>

#include "platform/common/errors.h"
#include "platform/common/text.h"

namespace platform::http {
namespace {

using namespace std::chrono;

// Past this a delay means "not soon" all the same; the cap keeps the arithmetic in range.
constexpr seconds kLongestDelay{std::numeric_limits<std::int32_t>::max()};

std::optional<int> Digits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return std::nullopt;
    return text::ParseWhole<int>(s);
}

std::optional<unsigned> MonthOf(std::string_view name) {
    static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (unsigned i = 0; i < kMonths.size(); ++i)
        if (name == kMonths[i]) return i + 1;
    return std::nullopt;
}

bool IsDayName(std::string_view name) {
    for (std::string_view day : {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"})
        if (name == day) return true;
    return false;
}

// "Sun, 06 Nov 1994 08:49:37 GMT", the one form a service of today sends.
std::optional<sys_seconds> ParseImfDate(std::string_view s) {
    if (s.size() != 29 || s.substr(3, 2) != ", " || s[7] != ' ' || s[11] != ' ' || s[16] != ' ' || s[19] != ':' ||
        s[22] != ':' || s.substr(25) != " GMT" || !IsDayName(s.substr(0, 3)))
        return std::nullopt;
    const auto d = Digits(s.substr(5, 2)), y = Digits(s.substr(12, 4));
    const auto h = Digits(s.substr(17, 2)), mi = Digits(s.substr(20, 2)), sec = Digits(s.substr(23, 2));
    const auto mo = MonthOf(s.substr(8, 3));
    if (!d || !y || !h || !mi || !sec || !mo) return std::nullopt;
    const year_month_day date{year{*y}, month{*mo}, day{static_cast<unsigned>(*d)}};
    if (!date.ok() || *h > 23 || *mi > 59 || *sec > 60) return std::nullopt;
    return sys_days(date) + hours(*h) + minutes(*mi) + seconds(*sec);
}

}  // namespace

std::string WithoutQuery(const std::string& address) { return address.substr(0, address.find_first_of("?#")); }

std::string OriginOf(const std::string& address) {
    const std::size_t hostStart = address.find("://");
    if (hostStart == std::string::npos) return address;
    return address.substr(0, address.find_first_of("/?#", hostStart + 3));
}

void RequireHttpAddress(const std::string& address) {
    if (!text::StartsWithNoCase(address, "http://") && !text::StartsWithNoCase(address, "https://"))
        throw PlatformError("\"" + WithoutQuery(address) + "\" is not an HTTP address");
}

void Fail(const std::string& address, const std::string& why) {
    throw PlatformError("request for " + WithoutQuery(address) + " failed: " + why);
}

std::string TooLargeReason() { return "the reply is larger than " + std::to_string(kMaxReplyBytes) + " bytes"; }

std::optional<seconds> ParseRetryAfter(std::string_view value, system_clock::time_point now) {
    value = text::Trim(value);
    if (value.empty()) return std::nullopt;
    if (value.find_first_not_of("0123456789") == std::string_view::npos) {
        const auto delay = text::ParseWhole<std::int64_t>(value);
        return delay && *delay < kLongestDelay.count() ? seconds(*delay) : kLongestDelay;
    }
    const auto when = ParseImfDate(value);
    if (!when) return std::nullopt;
    const seconds left = *when - time_point_cast<seconds>(now);
    return std::min(std::max(left, seconds(0)), kLongestDelay);
}

RecordSet ReadReply(const std::string& address, const Reply& reply, system_clock::time_point now) {
    if (reply.status < 200 || reply.status > 299) {
        const std::string why = "the server answered with status " + std::to_string(reply.status);
        if (reply.status == 503 || reply.status == 429) {
            if (const auto delay = ParseRetryAfter(reply.retryAfter, now))
                throw ServiceBusy("request for " + WithoutQuery(address) + " failed: " + why + ", busy for " +
                                      std::to_string(delay->count()) + " s",
                                  reply.status, *delay);
        }
        Fail(address, why);
    }
    try {
        return ParseRecordSet(reply.body);
    } catch (const PlatformError& e) {
        Fail(address, e.what());
    }
}

}  // namespace platform::http
