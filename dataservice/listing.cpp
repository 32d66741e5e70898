#include "dataservice/listing.h"

#include <charconv>

namespace dataservice {

void printItems(const std::vector<Item>& items, std::ostream& out) {
    for (const Item& item : items) out << escapeLine(item.category) << '\t' << escapeLine(item.text) << '\n';
}

void printJournal(const std::vector<JournalEntry>& journal, std::ostream& out) {
    for (const JournalEntry& entry : journal) out << journalLine(entry) << '\n';
}

void printVersions(const std::vector<Version>& versions, std::ostream& out) {
    for (const Version& v : versions) out << v.major << '.' << v.minor << '.' << v.rev << '\n';
}

std::optional<Version> parseVersion(std::string_view text) {
    std::int64_t parts[3];
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (p == end || *p != '.') return std::nullopt;
            ++p;
        }
        if (p == end || *p < '0' || *p > '9') return std::nullopt;
        const auto [next, ec] = std::from_chars(p, end, parts[i]);
        if (ec != std::errc()) return std::nullopt;
        p = next;
    }
    if (p != end) return std::nullopt;
    return Version{parts[0], parts[1], parts[2]};
}

}  // namespace dataservice
