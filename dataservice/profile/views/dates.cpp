#include "dataservice/profile/views/dates.h"

#include <cstdio>
#include <ctime>
#include <optional>

namespace dataservice::profile {
namespace {

// The local time the text names, normalised by mktime so that the zone is the one in force then.
std::optional<std::tm> parsed(std::string_view stored) {
    if (stored.size() != 19 || stored[4] != '-' || stored[7] != '-' || stored[10] != 'T' || stored[13] != ':' ||
        stored[16] != ':')
        return std::nullopt;
    const auto number = [&](std::size_t at, std::size_t len) {
        int n = 0;
        for (std::size_t i = at; i < at + len; ++i) {
            if (stored[i] < '0' || stored[i] > '9') return -1;
            n = n * 10 + (stored[i] - '0');
        }
        return n;
    };
    std::tm tm{};
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60)
        return std::nullopt;
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

}  // namespace

std::string readableDate(std::string_view stored) {
    const auto tm = parsed(stored);
    if (!tm) return std::string(stored);
    char buf[96];
    std::strftime(buf, sizeof buf, "%B %Y, %H:%M %Z", &*tm);
    return std::to_string(tm->tm_mday) + " " + buf;
}

std::string isoDate(std::string_view stored) {
    const auto tm = parsed(stored);
    if (!tm) return std::string(stored);
    char buf[40], zone[8];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &*tm);
    std::strftime(zone, sizeof zone, "%z", &*tm);  // "+0100"
    std::string z = zone;
    if (z.size() == 5) z.insert(3, ":");
    return buf + z;
}

}  // namespace dataservice::profile
