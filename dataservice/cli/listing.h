#pragma once
// What the command line prints: stored items, the journal, allowed versions. One record a
// line, fields separated by tabs, each field escaped (see escapeLine) so a tab or line break
// inside a value cannot split it.
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "dataservice/common/journal_format.h"
#include "dataservice/store/types.h"

namespace dataservice {

// "category<TAB>text" per item, in arrival order.
void printItems(const std::vector<Item>& items, std::ostream& out);
// "K<TAB>started<TAB>completed or \"incomplete\"<TAB>N items" per collection, newest first.
void printCollections(const std::vector<Collection>& collections, std::ostream& out);
// One journalLine per request.
void printJournal(const std::vector<JournalEntry>& journal, std::ostream& out);
// "MAJOR.MINOR.REV" per version.
void printVersions(const std::vector<Version>& versions, std::ostream& out);

// "MAJOR.MINOR.REV" with three non-negative decimal numbers.
std::optional<Version> parseVersion(std::string_view text);

}  // namespace dataservice
