#pragma once
// What changed from one collection to the next. A program is its text's name part: the
// collector sends "DisplayName v DisplayVersion", or the name alone, so the version is what
// follows the last " v" that a digit follows. The same name with another version is an update;
// every other item is compared by its whole text within its category (a BIOS item's
// configuration date alone changing is no change). Hash maps throughout: the work grows with
// the number of items, never with its square.
#include <string>
#include <string_view>
#include <vector>

#include "dataservice/store/types.h"

namespace dataservice {

struct Change {
    enum class Kind { Added, Removed, Updated };
    Kind kind = Kind::Added;
    std::string category;
    std::string text;  // the item's text; for an update, the program's name
    std::string oldVersion, newVersion;  // an update's
    friend bool operator==(const Change&, const Change&) = default;
};

struct ProgramName {
    std::string_view name, version;  // version empty when the text has none
};
ProgramName splitProgram(std::string_view text);

// Updates and additions in the order of `after`, then removals in the order of `before`.
std::vector<Change> compareCollections(const std::vector<Item>& before, const std::vector<Item>& after);

}  // namespace dataservice
