// Reader of persisted record sets (the XML rowset format): a schema of typed columns and
// one row element per record, with pending inserts and updates kept beside the plain rows.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "platform/common/errors.h"
#include "platform/recordset/recordset.h"
#include "platform/common/text.h"

namespace platform {
namespace {

// The format is identified by its namespace URIs; writers choose their own prefixes.
constexpr std::string_view kSchemaNs = "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882";
constexpr std::string_view kTypeNs = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
constexpr std::string_view kRowsetNs = "urn:schemas-microsoft-com:rowset";
constexpr std::string_view kRowNs = "#RowsetSchema";

[[noreturn]] void fail(const std::string& what) {
    throw PlatformError("not a persisted record set: " + what);
}

// Prefix declarations in force at one element, chained to those of its ancestors.
class Scope {
public:
    Scope(const Scope* parent, const pugi::xml_node& element) : parent_(parent) {
        for (const pugi::xml_attribute& a : element.attributes()) {
            const std::string_view name = a.name();
            if (name == "xmlns") decls_.emplace_back("", a.value());
            else if (name.starts_with("xmlns:")) decls_.emplace_back(name.substr(6), a.value());
        }
    }

    // The URI bound to `prefix`; empty for an undeclared prefix or no default namespace.
    std::string_view uri(std::string_view prefix) const {
        for (const Scope* s = this; s; s = s->parent_)
            for (auto it = s->decls_.rbegin(); it != s->decls_.rend(); ++it)
                if (it->first == prefix) return it->second;
        return {};
    }

private:
    const Scope* parent_;
    std::vector<std::pair<std::string_view, std::string_view>> decls_;
};

struct QName {
    std::string_view uri, local;
};

QName splitName(std::string_view qname, const Scope& scope, bool isAttribute) {
    const auto colon = qname.find(':');
    if (colon == std::string_view::npos)  // unprefixed attributes belong to no namespace
        return {isAttribute ? std::string_view{} : scope.uri(""), qname};
    return {scope.uri(qname.substr(0, colon)), qname.substr(colon + 1)};
}

bool is(const pugi::xml_node& element, const Scope& scope, std::string_view uri, std::string_view local) {
    const QName q = splitName(element.name(), scope, false);
    return q.uri == uri && q.local == local;
}

// The attribute `local` of namespace `uri` (empty for an unprefixed one), if present.
std::optional<std::string_view> attribute(const pugi::xml_node& element, const Scope& scope,
                                          std::string_view uri, std::string_view local) {
    for (const pugi::xml_attribute& a : element.attributes()) {
        const std::string_view name = a.name();
        if (name == "xmlns" || name.starts_with("xmlns:")) continue;
        const QName q = splitName(name, scope, true);
        if (q.uri == uri && q.local == local) return std::string_view(a.value());
    }
    return std::nullopt;
}

enum class Kind { Text, Integer, Unsigned, Real, Boolean, DateTime, Date, Time };

Kind kindOf(std::string_view type) {
    static const std::pair<std::string_view, Kind> table[] = {
        {"i1", Kind::Integer},     {"i2", Kind::Integer},   {"i4", Kind::Integer},
        {"i8", Kind::Integer},     {"int", Kind::Integer},  {"ui1", Kind::Unsigned},
        {"ui2", Kind::Unsigned},   {"ui4", Kind::Unsigned}, {"ui8", Kind::Unsigned},
        {"number", Kind::Real},    {"float", Kind::Real},   {"r4", Kind::Real},
        {"r8", Kind::Real},        {"fixed.14.4", Kind::Real},
        {"boolean", Kind::Boolean},
        {"dateTime", Kind::DateTime}, {"dateTime.tz", Kind::DateTime},
        {"date", Kind::Date},      {"time", Kind::Time},    {"time.tz", Kind::Time},
    };
    for (const auto& [name, kind] : table)
        if (name == type) return kind;
    return Kind::Text;  // string, uuid, bin.hex, char and whatever else: kept as written
}

struct Column {
    std::string attributeName;  // the attribute that carries the value in a row
    std::string name;           // the column's own name
    long long number = 0;       // its position as the schema gives it
    Kind kind = Kind::Text;
    std::string typeName;
};

std::string_view trimmed(std::string_view s) { return text::Trim(s, " \t\n\r"); }

template <typename T>
std::optional<T> wholeNumber(std::string_view s) {
    const bool plus = !s.empty() && s.front() == '+';
    if (plus) s.remove_prefix(1);
    if (s.empty() || (plus && s.front() == '-')) return std::nullopt;
    T value{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

std::optional<double> realNumber(std::string_view s) {
    const bool plus = !s.empty() && s.front() == '+';
    if (plus) s.remove_prefix(1);
    if (s.empty() || (plus && s.front() == '-')) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Reads exactly `width` digits at `pos`.
std::optional<int> digits(std::string_view s, std::size_t& pos, std::size_t width) {
    if (pos + width > s.size()) return std::nullopt;
    int v = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const char c = s[pos + i];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    pos += width;
    return v;
}

bool expect(std::string_view s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

// "hh:mm[:ss[.fff]]" followed by an optional zone ("Z", "+hh:mm", "-hhmm"). The zone is
// accepted and the wall-clock time kept as written.
bool readTime(std::string_view s, std::size_t& pos, CivilTime& t, double& fraction) {
    const auto h = digits(s, pos, 2);
    if (!h || !expect(s, pos, ':')) return false;
    const auto m = digits(s, pos, 2);
    if (!m) return false;
    t.hour = *h;
    t.minute = *m;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        const auto sec = digits(s, pos, 2);
        if (!sec) return false;
        t.second = *sec;
        if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
            const std::size_t start = ++pos;
            double scale = 0.1;
            while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
                fraction += (s[pos] - '0') * scale;
                scale /= 10;
                ++pos;
            }
            if (pos == start) return false;
        }
    }
    if (pos == s.size()) return true;
    if (s[pos] == 'Z') return ++pos == s.size();
    if (s[pos] != '+' && s[pos] != '-') return false;
    ++pos;
    const auto zh = digits(s, pos, 2);
    if (!zh || *zh > 14) return false;
    if (pos < s.size() && s[pos] == ':') ++pos;
    const auto zm = digits(s, pos, 2);
    return zm && *zm < 60 && pos == s.size();
}

std::optional<Date> readDate(std::string_view s, Kind kind) {
    CivilTime t;
    double fraction = 0;
    std::size_t pos = 0;
    if (kind != Kind::Time) {
        const auto y = digits(s, pos, 4);
        if (!y || !expect(s, pos, '-')) return std::nullopt;
        const auto mo = digits(s, pos, 2);
        if (!mo || !expect(s, pos, '-')) return std::nullopt;
        const auto d = digits(s, pos, 2);
        if (!d) return std::nullopt;
        t.year = *y;
        t.month = *mo;
        t.day = *d;
        if (pos < s.size()) {
            if (s[pos] != 'T' && s[pos] != ' ') return std::nullopt;
            ++pos;
            if (!readTime(s, pos, t, fraction)) return std::nullopt;
        }
    } else if (!readTime(s, pos, t, fraction)) {
        return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    const std::optional<Date> date = dateFromCivil(t);
    if (!date) return std::nullopt;
    const double extra = fraction / 86400.0;
    // Before the zero date the time of day counts away from zero (see dateFromCivil).
    return Date{date->days >= 0 ? date->days + extra : date->days - extra};
}

FieldValue convert(const Column& column, std::string_view raw) {
    // A reply that is not well-formed UTF-8 still reads: its bad bytes become U+FFFD.
    if (column.kind == Kind::Text) return text::RepairUtf8(raw);
    const std::string_view s = trimmed(raw);
    auto bad = [&]() -> FieldValue {
        fail("the value \"" + std::string(raw) + "\" of column \"" + column.name + "\" is not a " +
             column.typeName);
    };
    switch (column.kind) {
    case Kind::Integer:
        if (const auto v = wholeNumber<std::int64_t>(s)) return *v;
        return bad();
    case Kind::Unsigned:
        if (const auto v = wholeNumber<std::uint64_t>(s)) {
            if (*v <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return static_cast<std::int64_t>(*v);
            return static_cast<double>(*v);  // beyond int64: keep the magnitude
        }
        return bad();
    case Kind::Real:
        if (const auto v = realNumber(s)) return *v;
        return bad();
    case Kind::Boolean: {
        const std::string lower = text::LowerAscii(s);
        if (lower == "true" || lower == "1" || lower == "-1") return true;
        if (lower == "false" || lower == "0") return false;
        return bad();
    }
    case Kind::DateTime:
    case Kind::Date:
    case Kind::Time:
        if (const auto d = readDate(s, column.kind)) return *d;
        return bad();
    case Kind::Text:
        break;
    }
    return text::RepairUtf8(raw);
}

Column readColumn(const pugi::xml_node& attributeType, const Scope& parentScope, std::size_t order) {
    const Scope scope(&parentScope, attributeType);
    Column c;
    const auto name = attribute(attributeType, scope, "", "name");
    if (!name || name->empty()) fail("a column of the schema has no name");
    c.attributeName = std::string(*name);
    const auto ownName = attribute(attributeType, scope, kRowsetNs, "name");
    c.name = text::RepairUtf8(ownName ? *ownName : c.attributeName);
    if (const auto number = attribute(attributeType, scope, kRowsetNs, "number")) {
        const auto n = wholeNumber<long long>(trimmed(*number));
        if (!n) fail("column \"" + c.name + "\" has the position \"" + std::string(*number) + "\"");
        c.number = *n;
    } else {
        c.number = static_cast<long long>(order);
    }
    // The type sits on a datatype child, or (in the shorter form) on the column itself.
    std::optional<std::string_view> type = attribute(attributeType, scope, kTypeNs, "type");
    for (const pugi::xml_node& child : attributeType.children()) {
        if (child.type() != pugi::node_element) continue;
        const Scope childScope(&scope, child);
        if (is(child, childScope, kSchemaNs, "datatype"))
            if (const auto t = attribute(child, childScope, kTypeNs, "type")) type = t;
    }
    c.typeName = type ? std::string(*type) : "string";
    c.kind = type ? kindOf(*type) : Kind::Text;
    return c;
}

struct Schema {
    std::string rowName;
    std::vector<Column> columns;  // in position order
    std::unordered_map<std::string, std::size_t> byAttribute;
};

Schema readSchema(const pugi::xml_node& schemaNode, const Scope& parentScope) {
    const Scope scope(&parentScope, schemaNode);
    // Columns declared at schema level may be referenced from the row type by name.
    std::vector<std::pair<pugi::xml_node, const Scope*>> shared;
    std::vector<std::unique_ptr<Scope>> scopes;
    pugi::xml_node rowType;
    const Scope* rowScope = nullptr;
    for (const pugi::xml_node& child : schemaNode.children()) {
        if (child.type() != pugi::node_element) continue;
        scopes.push_back(std::make_unique<Scope>(&scope, child));
        const Scope& childScope = *scopes.back();
        if (is(child, childScope, kSchemaNs, "AttributeType")) {
            shared.emplace_back(child, &scope);
        } else if (!rowType && is(child, childScope, kSchemaNs, "ElementType") &&
                   attribute(child, childScope, "", "name") == std::string_view("row")) {
            rowType = child;
            rowScope = &childScope;
        }
    }
    if (!rowType) fail("the schema declares no row type");

    Schema schema;
    schema.rowName = "row";
    std::size_t order = 0;
    for (const pugi::xml_node& child : rowType.children()) {
        if (child.type() != pugi::node_element) continue;
        const Scope childScope(rowScope, child);
        if (is(child, childScope, kSchemaNs, "AttributeType")) {
            schema.columns.push_back(readColumn(child, *rowScope, ++order));
        } else if (is(child, childScope, kSchemaNs, "attribute")) {
            const auto ref = attribute(child, childScope, "", "type");
            if (!ref) fail("a column reference of the schema names no column");
            const auto it = std::find_if(shared.begin(), shared.end(), [&](const auto& s) {
                return std::string_view(s.first.attribute("name").value()) == *ref;
            });
            if (it == shared.end()) fail("the schema references the undeclared column \"" + std::string(*ref) + "\"");
            schema.columns.push_back(readColumn(it->first, *it->second, ++order));
        }
    }
    std::stable_sort(schema.columns.begin(), schema.columns.end(),
                     [](const Column& a, const Column& b) { return a.number < b.number; });
    for (std::size_t i = 0; i < schema.columns.size(); ++i)
        if (!schema.byAttribute.emplace(schema.columns[i].attributeName, i).second)
            fail("the schema declares the column \"" + schema.columns[i].attributeName + "\" twice");
    return schema;
}

class RowReader {
public:
    explicit RowReader(const Schema& schema) : schema_(schema) {}

    bool isRow(const pugi::xml_node& element, const Scope& scope) const {
        return is(element, scope, kRowNs, schema_.rowName);
    }

    // Fills `row` (already sized) from the row element's attributes; absent ones stay as they are.
    void fill(const pugi::xml_node& element, std::vector<FieldValue>& row) const {
        for (const pugi::xml_attribute& a : element.attributes()) {
            const std::string_view name = a.name();
            if (name == "xmlns" || name.starts_with("xmlns:")) continue;
            const auto it = schema_.byAttribute.find(std::string(name));
            if (it == schema_.byAttribute.end()) continue;  // not a column: nothing to read
            row[it->second] = convert(schema_.columns[it->second], a.value());
        }
    }

    std::vector<FieldValue> read(const pugi::xml_node& element) const {
        std::vector<FieldValue> row(schema_.columns.size());
        fill(element, row);
        return row;
    }

private:
    const Schema& schema_;
};

void readData(const pugi::xml_node& data, const Scope& parentScope, const RowReader& reader,
              std::vector<std::vector<FieldValue>>& rows) {
    const Scope scope(&parentScope, data);
    for (const pugi::xml_node& child : data.children()) {
        if (child.type() != pugi::node_element) continue;
        const Scope childScope(&scope, child);
        if (reader.isRow(child, childScope)) {
            rows.push_back(reader.read(child));
        } else if (is(child, childScope, kRowsetNs, "insert")) {
            for (const pugi::xml_node& row : child.children()) {
                if (row.type() != pugi::node_element) continue;
                const Scope rowScope(&childScope, row);
                if (reader.isRow(row, rowScope)) rows.push_back(reader.read(row));
            }
        } else if (is(child, childScope, kRowsetNs, "update")) {
            // An update holds the original row, then a row with the changed values only: the
            // current record is the original with those values laid over it.
            std::optional<std::vector<FieldValue>> original;
            for (const pugi::xml_node& part : child.children()) {
                if (part.type() != pugi::node_element) continue;
                const Scope partScope(&childScope, part);
                if (is(part, partScope, kRowsetNs, "original")) {
                    for (const pugi::xml_node& row : part.children()) {
                        if (row.type() != pugi::node_element) continue;
                        const Scope rowScope(&partScope, row);
                        if (reader.isRow(row, rowScope)) original = reader.read(row);
                    }
                } else if (reader.isRow(part, partScope)) {
                    if (original) {
                        reader.fill(part, *original);
                        rows.push_back(std::move(*original));
                        original.reset();
                    } else {
                        rows.push_back(reader.read(part));
                    }
                }
            }
        }
        // Rows pending deletion are no longer records of the set.
    }
}

}  // namespace

RecordSet ParseRecordSet(std::string_view bytes) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) {
        if (bytes.empty()) fail("the reply is empty");
        fail(std::string("malformed XML (") + parsed.description() + " at byte " +
             std::to_string(parsed.offset) + ")");
    }
    const pugi::xml_node root = doc.document_element();
    const Scope rootScope(nullptr, root);
    if (std::string_view(root.name()) != "xml") fail(std::string("the document is <") + root.name() + ">");

    std::optional<Schema> schema;
    pugi::xml_node data;
    for (const pugi::xml_node& child : root.children()) {
        if (child.type() != pugi::node_element) continue;
        const Scope childScope(&rootScope, child);
        if (!schema && is(child, childScope, kSchemaNs, "Schema")) schema = readSchema(child, rootScope);
        else if (!data && is(child, childScope, kRowsetNs, "data")) data = child;
    }
    if (!schema) fail("the document has no schema");
    if (schema->columns.empty()) fail("the schema declares no columns");
    if (!data) fail("the document has no data element");

    std::vector<std::vector<FieldValue>> rows;
    readData(data, rootScope, RowReader(*schema), rows);
    std::vector<std::string> names;
    names.reserve(schema->columns.size());
    for (const Column& c : schema->columns) names.push_back(c.name);
    return RecordSet(std::move(names), std::move(rows));
}

}  // namespace platform
