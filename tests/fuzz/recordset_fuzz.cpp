// The persisted-record-set reader over any reply body.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "platform/common/errors.h"
#include "platform/recordset/recordset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    platform::RecordSet set;
    try {
        set = platform::ParseRecordSet(bytes);
    } catch (const platform::PlatformError&) {
        return 0;
    }
    fuzzcheck::check(set.RecordCount() == static_cast<std::int32_t>(set.Rows().size()), "record count");
    for (const auto& column : set.Columns()) fuzzcheck::check(text::IsValidUtf8(column), "column name", column);
    for (const auto& row : set.Rows()) {
        fuzzcheck::check(row.size() == set.Columns().size(), "a row has one field per column");
        for (const auto& field : row)
            if (const auto* s = std::get_if<std::string>(&field))
                fuzzcheck::check(text::IsValidUtf8(*s), "text field", *s);
    }
    if (set.RecordCount() > 0 && !set.Columns().empty()) {
        // Every column of the first record is reachable by position, and one past them is not.
        for (std::size_t i = 0; i < set.Columns().size() && i < 0x7FFF; ++i)
            (void)set.Field(static_cast<std::int16_t>(i));
    }
    return 0;
}
