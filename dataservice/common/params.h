#pragma once
// The (key, value) pairs of a query string or a form, as the pages and the journal hold them.
// Values arrive as arbitrary bytes, so everything here is total: no input makes these throw or
// read out of bounds.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dataservice {

using Params = std::vector<std::pair<std::string, std::string>>;

// "%XX" becomes the byte XX; a "%" not followed by two hex digits stays as it is.
// With plusIsSpace, "+" becomes a blank (query strings); paths and journal lines keep their "+".
std::string percentDecode(std::string_view text, bool plusIsSpace);

// Splits "a=1&b=2" into decoded (key, value) pairs in the order sent. Empty pieces are
// skipped; a piece without "=" is a key with an empty value.
Params splitPairs(std::string_view text, bool plusIsSpace);

// A raw query or a form's body: splitPairs with "+" as a blank.
inline Params parseQuery(std::string_view rawQuery) { return splitPairs(rawQuery, true); }

// The first value of `key` (ASCII case-insensitive), or nullptr when absent.
const std::string* findParam(const Params& params, std::string_view key);

}  // namespace dataservice
