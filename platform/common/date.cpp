#include "platform/common/date.h"

#include <cmath>
#include <ctime>

namespace platform {
namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian), after H. Hinnant's algorithm.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

const long long kZeroDateFromEpoch = daysFromCivil(1899, 12, 30);

bool validDay(int y, int m, int d) {
    static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1) return false;
    int max = len[m - 1];
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) max = 29;
    return d <= max;
}

}  // namespace

std::optional<Date> dateFromCivil(const CivilTime& t) {
    if (t.year < 100 || t.year > 9999 || !validDay(t.year, t.month, t.day)) return std::nullopt;
    if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59)
        return std::nullopt;
    const long long days = daysFromCivil(t.year, t.month, t.day) - kZeroDateFromEpoch;
    const double fraction = (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
    // Before the zero date the fraction still counts forward from midnight (as date values do).
    return Date{days >= 0 ? days + fraction : days - fraction};
}

CivilTime civilFromDate(Date d) {
    const double whole = std::trunc(d.days);
    long long seconds = std::llround(std::fabs(d.days - whole) * 86400.0);
    long long days = static_cast<long long>(whole);
    if (seconds >= 86400) { seconds -= 86400; days += d.days >= 0 ? 1 : -1; }
    CivilTime t;
    civilFromDays(days + kZeroDateFromEpoch, t.year, t.month, t.day);
    t.hour = static_cast<int>(seconds / 3600);
    t.minute = static_cast<int>(seconds / 60 % 60);
    t.second = static_cast<int>(seconds % 60);
    return t;
}

bool hasTimeOfDay(Date d) {
    const CivilTime t = civilFromDate(d);
    return t.hour != 0 || t.minute != 0 || t.second != 0;
}

Date today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    CivilTime t{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, 0, 0, 0};
    return dateFromCivil(t).value_or(Date{});
}

}  // namespace platform
