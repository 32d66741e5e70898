#pragma once
// Record sets opened from an address: an HTTP GET whose reply is a persisted record set
// (XML). Anything else is a failure.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/common/date.h"

namespace platform {

// A field's value: null, text, integer, floating point, boolean or date-time.
using FieldValue = std::variant<std::monostate, std::string, std::int64_t, double, bool, Date>;

class RecordSet {
public:
    RecordSet() = default;
    RecordSet(std::vector<std::string> columns, std::vector<std::vector<FieldValue>> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}

    std::int32_t RecordCount() const { return static_cast<std::int32_t>(rows_.size()); }
    // Field `index` (zero-based position) of the current (first) record.
    // Throws PlatformError when there is no record or no such field.
    FieldValue Field(std::int16_t index) const;
    const std::vector<std::string>& Columns() const { return columns_; }
    const std::vector<std::vector<FieldValue>>& Rows() const { return rows_; }

private:
    std::vector<std::string> columns_;
    std::vector<std::vector<FieldValue>> rows_;
};

// Reads a persisted record set; throws PlatformError for anything that is not one.
RecordSet ParseRecordSet(std::string_view bytes);

class RecordSource {
public:
    virtual ~RecordSource() = default;
    // Fetches `address` and reads the reply. Throws PlatformError on any failure.
    virtual RecordSet Open(const std::string& address) = 0;
};

// libcurl GET, one connection kept alive across requests.
std::unique_ptr<RecordSource> makeHttpRecordSource();

}  // namespace platform
