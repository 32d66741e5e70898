// Dates as text in the user's regional form (LC_TIME), and fields read back as dates.
#include <cctype>
#include <cmath>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/common/date.h"
#include "platform/common/errors.h"
#include "platform/common/text.h"
#include "client/service.h"

namespace service {
namespace {

// The days a date value can fall on: 100-01-01 to 9999-12-31. Before the zero date the fraction
// counts forward from midnight, so the first day with a time of day lies below kFirstDay.
constexpr double kFirstDay = -657434.0;
constexpr double kLastDay = 2958465.0;

long dayNumber(int year, int month, int day) {
    const auto d = platform::dateFromCivil({year, month, day, 0, 0, 0});
    return d ? static_cast<long>(d->days) : 0;
}

std::tm toTm(const platform::CivilTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    const long days = dayNumber(t.year, t.month, t.day);
    tm.tm_wday = static_cast<int>(((days + 6) % 7 + 7) % 7);  // the zero date was a Saturday
    tm.tm_yday = static_cast<int>(days - dayNumber(t.year, 1, 1));
    tm.tm_isdst = 0;
    return tm;
}

std::string format(const char* pattern, const std::tm& tm) {
    char buffer[256];
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &tm);
    return std::string(buffer, n);
}

std::string_view trimmed(std::string_view s) { return text::Trim(s, text::kWhiteSpace); }

// strptime: the end of what `pattern` read, or null. Windows' C library has none; there the
// C++ library's reader of the classic forms stands in.
const char* parseTime(const std::string& text, const char* pattern, std::tm& tm) {
#ifdef _WIN32
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> std::get_time(&tm, pattern);
    if (in.fail()) return nullptr;
    const std::streamoff at = in.eof() ? static_cast<std::streamoff>(text.size()) : static_cast<std::streamoff>(in.tellg());
    return text.c_str() + at;
#else
    return strptime(text.c_str(), pattern, &tm);
#endif
}

// A text in one of the forms the regional settings write (date, date and time, time alone),
// or in ISO 8601 form, which servers send whatever the user's settings.
std::optional<platform::Date> parseDateText(std::string_view raw) {
    const std::string text(trimmed(raw));
    if (text.empty()) return std::nullopt;
    static const char* const patterns[] = {"%x %X", "%x", "%X", "%Y-%m-%dT%H:%M:%S",
                                           "%Y-%m-%d %H:%M:%S", "%Y-%m-%d"};
    for (const char* pattern : patterns) {
        std::tm tm{};
        tm.tm_year = 1899 - 1900;  // a time alone falls on the zero date
        tm.tm_mon = 11;
        tm.tm_mday = 30;
        const char* end = parseTime(text, pattern, tm);
        if (!end || !trimmed(end).empty()) continue;
        const auto date = platform::dateFromCivil(
            {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
        if (date) return date;
    }
    return std::nullopt;
}

platform::Date daysAsDate(double days) {
    const auto outOfRange = [days] {
        return platform::PlatformError("the number " + std::to_string(days) + " is out of the range of dates");
    };
    // The bounds keep the calendar arithmetic below within reach of its integers.
    if (!std::isfinite(days) || days <= kFirstDay - 1.0 || days >= kLastDay + 1.0) throw outOfRange();
    // A fraction a hair short of a whole day rounds to the next day's midnight, which may lie outside.
    if (!platform::dateFromCivil(platform::civilFromDate(platform::Date{days}))) throw outOfRange();
    return platform::Date{days};
}

}  // namespace

std::string DateText(platform::Date date) {
    const platform::CivilTime t = platform::civilFromDate(date);
    const std::tm tm = toTm(t);
    // A value on the zero date is a time alone (the zero date itself reads as midnight).
    if (t.year == 1899 && t.month == 12 && t.day == 30) return format("%X", tm);
    std::string text = format("%x", tm);
    if (platform::hasTimeOfDay(date)) text += " " + format("%X", tm);
    return text;
}

platform::Date FieldToDate(const platform::FieldValue& value) {
    return std::visit(
        [](const auto& v) -> platform::Date {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, platform::Date>) {
                return v;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return daysAsDate(static_cast<double>(v));
            } else if constexpr (std::is_same_v<T, double>) {
                return daysAsDate(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                if (const auto d = parseDateText(v)) return *d;
                throw platform::PlatformError("\"" + v + "\" is not a date");
            } else if constexpr (std::is_same_v<T, bool>) {
                throw platform::PlatformError("a true or false value is not a date");
            } else {
                throw platform::PlatformError("an empty field is not a date");
            }
        },
        value);
}

}  // namespace service
