#pragma once
// The store keeps its times as local "YYYY-MM-DDTHH:MM:SS"; people read them with the zone.
#include <string>
#include <string_view>

namespace dataservice::profile {

// "9 December 2026, 14:05 CET", or the text as it is (escaped by the caller) when it is not a
// stored time.
std::string readableDate(std::string_view stored);
// "2026-12-09T14:05:00+01:00", or the text as it is when it is not a stored time.
std::string isoDate(std::string_view stored);

}  // namespace dataservice::profile
