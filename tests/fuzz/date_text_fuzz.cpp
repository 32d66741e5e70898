// A field's text read as a date, in the C locale and in a regional one.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "platform/common/date.h"
#include "platform/common/errors.h"
#include "client/service.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks the regional settings; the rest is the field's text.
    static const char* const locales[] = {"C", "en_US.UTF-8", "de_DE.UTF-8", "ja_JP.UTF-8"};
    std::setlocale(LC_TIME, locales[data[0] % 4]);
    const std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const platform::Date date = service::FieldToDate(platform::FieldValue(value));
        // Dates fall on days from 100-01-01 to 9999-12-31; before 1899-12-30 the time of day
        // counts down from the day's number, so the first day reaches below -657434.
        const int year = platform::civilFromDate(date).year;
        fuzzcheck::check(std::isfinite(date.days) && date.days > -657435.0 && date.days < 2958466.0 &&
                             year >= 100 && year <= 9999,
                         "date out of range", value);
        const std::string shown = service::DateText(date);
        fuzzcheck::check(text::IsValidUtf8(shown), "date text", shown);
    } catch (const platform::PlatformError&) {
    }
    return 0;
}
