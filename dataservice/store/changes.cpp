#include "dataservice/store/changes.h"

#include <deque>
#include <unordered_map>

#include "dataservice/store/categories.h"

namespace dataservice {
namespace {

struct Key {
    std::string_view category, text;
    friend bool operator==(const Key&, const Key&) = default;
};
struct KeyHash {
    std::size_t operator()(const Key& k) const {
        const std::size_t a = std::hash<std::string_view>()(k.category);
        return a ^ (std::hash<std::string_view>()(k.text) + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
    }
};

}  // namespace

ProgramName splitProgram(std::string_view text) {
    std::size_t from = std::string_view::npos;
    for (;;) {
        const std::size_t at = text.rfind(" v", from);
        if (at == std::string_view::npos) return {text, {}};
        if (at + 2 < text.size() && text[at + 2] >= '0' && text[at + 2] <= '9')
            return {text.substr(0, at), text.substr(at + 2)};
        if (at == 0) return {text, {}};
        from = at - 1;
    }
}

std::vector<Change> compareCollections(const std::vector<Item>& before, const std::vector<Item>& after) {
    // Same category and text on both sides: no change. Counted, so duplicates pair one to one.
    std::unordered_map<Key, std::size_t, KeyHash> waiting;
    waiting.reserve(before.size());
    for (const Item& item : before) ++waiting[Key{item.category, item.text}];
    std::vector<bool> newAfter(after.size(), false);
    for (std::size_t i = 0; i < after.size(); ++i) {
        const auto found = waiting.find(Key{after[i].category, after[i].text});
        if (found != waiting.end() && found->second > 0)
            --found->second;
        else
            newAfter[i] = true;
    }
    // What is left of `before`, the programs by name, the rest by text.
    std::unordered_map<std::string_view, std::deque<std::size_t>> gonePrograms;
    std::vector<bool> gone(before.size(), false);
    for (std::size_t i = before.size(); i-- > 0;) {  // from the end, so the last duplicates count as gone
        const auto found = waiting.find(Key{before[i].category, before[i].text});
        if (found == waiting.end() || found->second == 0) continue;
        --found->second;
        gone[i] = true;
    }
    for (std::size_t i = 0; i < before.size(); ++i)
        if (gone[i] && before[i].category == category::kSoftware)
            gonePrograms[splitProgram(before[i].text).name].push_back(i);

    std::vector<Change> out;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (!newAfter[i]) continue;
        const Item& item = after[i];
        if (item.category == category::kSoftware) {
            const ProgramName program = splitProgram(item.text);
            const auto found = gonePrograms.find(program.name);
            if (found != gonePrograms.end() && !found->second.empty()) {
                const std::size_t old = found->second.front();
                found->second.pop_front();
                gone[old] = false;
                out.push_back(Change{Change::Kind::Updated, item.category, std::string(program.name),
                                     std::string(splitProgram(before[old].text).version), std::string(program.version)});
                continue;
            }
        }
        out.push_back(Change{Change::Kind::Added, item.category, item.text, {}, {}});
    }
    for (std::size_t i = 0; i < before.size(); ++i)
        if (gone[i]) out.push_back(Change{Change::Kind::Removed, before[i].category, before[i].text, {}, {}});
    return out;
}

}  // namespace dataservice
