#include "dataservice/cli/listing.h"

#include "platform/common/text.h"

namespace dataservice {

void printItems(const std::vector<Item>& items, std::ostream& out) {
    for (const Item& item : items) out << escapeLine(item.category) << '\t' << escapeLine(item.text) << '\n';
}

void printCollections(const std::vector<Collection>& collections, std::ostream& out) {
    for (const Collection& c : collections)
        out << c.id << '\t' << escapeLine(c.started) << '\t' << (c.completed ? escapeLine(*c.completed) : "incomplete")
            << '\t' << c.items << " items\n";
}

void printJournal(const std::vector<JournalEntry>& journal, std::ostream& out) {
    for (const JournalEntry& entry : journal) out << journalLine(entry) << '\n';
}

void printVersions(const std::vector<Version>& versions, std::ostream& out) {
    for (const Version& v : versions) out << v.major << '.' << v.minor << '.' << v.rev << '\n';
}

std::optional<Version> parseVersion(std::string_view text) {
    std::int64_t parts[3];
    for (int i = 0; i < 3; ++i) {
        const std::size_t dot = i < 2 ? text.find('.') : text.size();
        if (dot == std::string_view::npos) return std::nullopt;
        const auto part = text::ParseWhole<std::int64_t>(text.substr(0, dot));
        if (!part) return std::nullopt;
        parts[i] = *part;
        text.remove_prefix(i < 2 ? dot + 1 : dot);
    }
    return Version{parts[0], parts[1], parts[2]};
}

}  // namespace dataservice
