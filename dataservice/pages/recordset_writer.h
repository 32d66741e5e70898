#pragma once
// Writes a persisted record set in its XML form: the row schema, then one z:row per record.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace dataservice {

enum class ColumnType { String, Int, DateTime };

struct Column {
    std::string name;  // an XML name; the pages use fixed ASCII identifiers
    ColumnType type = ColumnType::String;
    int maxLength = 255;  // strings: raised to the longest value written
};

// Null (the attribute is left out), text, or an integer. A DateTime column takes its value
// as text in the form "YYYY-MM-DDTHH:MM:SS".
using Value = std::variant<std::monostate, std::string, std::int64_t>;
using Row = std::vector<Value>;

std::string writeRecordSet(const std::vector<Column>& columns, const std::vector<Row>& rows);

}  // namespace dataservice
