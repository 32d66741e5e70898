#include "platform/recordset/recordset.h"

#include "platform/common/errors.h"

namespace platform {

FieldValue RecordSet::Field(std::int16_t index) const {
    if (rows_.empty()) throw PlatformError("the record set has no current record");
    const auto& row = rows_.front();
    if (index < 0 || static_cast<std::size_t>(index) >= row.size())
        throw PlatformError("no field at position " + std::to_string(index));
    return row[static_cast<std::size_t>(index)];
}

}  // namespace platform
