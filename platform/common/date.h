#pragma once
// A date value: days (and fraction of a day) since the zero date, 1899-12-30 00:00:00.
#include <cstdint>
#include <optional>

namespace platform {

struct Date {
    double days = 0.0;
    friend bool operator==(const Date&, const Date&) = default;
};

struct CivilTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

// Builds a date from calendar fields; nothing for a field out of range.
std::optional<Date> dateFromCivil(const CivilTime& t);
// Calendar fields of a date, to the nearest second.
CivilTime civilFromDate(Date d);
// True when the date carries a time of day other than midnight.
bool hasTimeOfDay(Date d);
// Today, local time, without a time of day.
Date today();

}  // namespace platform
