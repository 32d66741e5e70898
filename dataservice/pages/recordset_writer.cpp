#include "dataservice/pages/recordset_writer.h"

#include <algorithm>

#include "dataservice/common/markup.h"

namespace dataservice {
namespace {

std::size_t codePoints(const std::string& utf8) {
    std::size_t n = 0;
    for (const char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

std::string valueText(const Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    return {};
}

}  // namespace

std::string writeRecordSet(const std::vector<Column>& columns, const std::vector<Row>& rows) {
    std::string out =
        "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\n"
        "\txmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'\n"
        "\txmlns:rs='urn:schemas-microsoft-com:rowset'\n"
        "\txmlns:z='#RowsetSchema'>\n"
        "<s:Schema id='RowsetSchema'>\n"
        "\t<s:ElementType name='row' content='eltOnly'>\n";
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const Column& col = columns[c];
        bool nullable = false;
        std::size_t longest = 0;
        for (const Row& row : rows) {
            if (c >= row.size() || std::holds_alternative<std::monostate>(row[c])) nullable = true;
            else longest = std::max(longest, codePoints(xmlSafeText(valueText(row[c]))));
        }
        out += "\t\t<s:AttributeType name='" + xmlAttributeEscape(col.name) + "' rs:number='" +
               std::to_string(c + 1) + "'";
        if (nullable) out += " rs:nullable='true'";
        out += ">\n\t\t\t<s:datatype dt:type='";
        switch (col.type) {
            case ColumnType::String: {
                const std::size_t max = std::max<std::size_t>(longest, col.maxLength > 0 ? col.maxLength : 1);
                out += "string' dt:maxLength='" + std::to_string(max) + "'";
                break;
            }
            case ColumnType::Int:
                out += "int' dt:maxLength='4' rs:precision='10' rs:fixedlength='true'";
                break;
            case ColumnType::DateTime:
                out += "dateTime' dt:maxLength='16' rs:scale='0' rs:precision='19' rs:fixedlength='true'";
                break;
        }
        out += "/>\n\t\t</s:AttributeType>\n";
    }
    out +=
        "\t\t<s:extends type='rs:rowbase'/>\n"
        "\t</s:ElementType>\n"
        "</s:Schema>\n"
        "<rs:data>\n";
    for (const Row& row : rows) {
        out += "\t<z:row";
        for (std::size_t c = 0; c < columns.size() && c < row.size(); ++c) {
            if (std::holds_alternative<std::monostate>(row[c])) continue;
            out += " " + columns[c].name + "='" + xmlAttributeEscape(valueText(row[c])) + "'";
        }
        out += "/>\n";
    }
    out += "</rs:data>\n</xml>\n";
    return out;
}

}  // namespace dataservice
