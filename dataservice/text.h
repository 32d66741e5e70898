#pragma once
// Byte-level text helpers shared by the pages: query decoding, UTF-8 repair and the
// escaping that XML attributes and HTML need. Values arrive as arbitrary bytes, so
// everything here is total: no input makes these throw or read out of bounds.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dataservice {

using Params = std::vector<std::pair<std::string, std::string>>;

// "%XX" becomes the byte XX; a "%" not followed by two hex digits stays as it is.
// With plusIsSpace, "+" becomes a blank (query strings); paths keep their "+".
std::string percentDecode(std::string_view text, bool plusIsSpace);

// Splits a raw query ("a=1&b=2") into decoded (key, value) pairs in the order sent.
// Empty pieces are skipped; a piece without "=" is a key with an empty value.
Params parseQuery(std::string_view rawQuery);

// The first value of `key` (ASCII case-insensitive), or nullptr when absent.
const std::string* findParam(const Params& params, std::string_view key);

// Valid UTF-8, with every malformed sequence replaced by U+FFFD. With xmlSafe, code points
// XML 1.0 cannot carry at all (C0 controls but tab, LF, CR; U+FFFE, U+FFFF) are replaced too.
std::string repairUtf8(std::string_view text, bool xmlSafe);

// For an XML attribute value between quotes: repaired, markup and the blanks that attribute
// normalisation would eat (tab, LF, CR) written as character references.
std::string xmlAttributeEscape(std::string_view text);

// For HTML text and attribute values.
std::string htmlEscape(std::string_view text);

// Local time now as "YYYY-MM-DDTHH:MM:SS", the form of a record set's dateTime.
std::string localTimestamp();

}  // namespace dataservice
