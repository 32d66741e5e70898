// Sound cards: the sound system's card list, else the sound class of sysfs.
#include <algorithm>

#include "platform/linux/instr_providers.h"

namespace platform::instr {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Lines like " 0 [PCH            ]: HDA-Intel - HDA Intel PCH"; the line below each (the
// card's address) begins with blanks and no number.
std::vector<Row> fromCardList(std::string_view text) {
    std::vector<Row> rows;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);

        std::string_view rest = trimmed(line);
        std::size_t digits = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
        if (digits == 0) continue;
        rest = trimmed(rest.substr(digits));
        if (rest.empty() || rest.front() != '[') continue;
        const std::size_t close = rest.find("]:");
        if (close == std::string_view::npos) continue;
        const std::string_view shortName = trimmed(rest.substr(1, close - 1));
        const std::string_view description = rest.substr(close + 2);

        std::string name;
        const std::size_t dash = description.find(" - ");
        if (dash != std::string_view::npos) name = cleanText(trimmed(description.substr(dash + 3)));
        if (name.empty()) name = cleanText(shortName);
        rows.push_back({name.empty() ? PropertyValue() : PropertyValue(name)});
    }
    return rows;
}

std::vector<Row> fromSysfs(ProviderContext& ctx) {
    std::vector<std::pair<unsigned long, std::string>> cards;
    for (const auto& entry : ctx.root.list("/sys/class/sound")) {
        if (entry.rfind("card", 0) != 0 || !allDigits(std::string_view(entry).substr(4))) continue;
        if (entry.size() > 12) continue;  // not a card number this machine could have
        cards.emplace_back(std::stoul(entry.substr(4)), entry);
    }
    std::sort(cards.begin(), cards.end());

    std::vector<Row> rows;
    for (const auto& [number, entry] : cards) {
        const std::string card = joinPath("/sys/class/sound", entry);
        PropertyValue name;
        if (ctx.root.exists(joinPath(card, "device")))
            name = hardwareName(ctx, ctx.root.resolve(joinPath(card, "device")));
        if (!name) name = ctx.root.readText(joinPath(card, "id"));
        rows.push_back({name});
    }
    return rows;
}

}  // namespace

std::vector<Row> collectSoundDevices(ProviderContext& ctx) {
    if (auto list = ctx.root.readBytes("/proc/asound/cards")) {
        auto rows = fromCardList(*list);
        if (!rows.empty()) return rows;
    }
    return fromSysfs(ctx);
}

}  // namespace platform::instr
