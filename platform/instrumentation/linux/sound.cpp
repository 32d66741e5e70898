// Sound cards: the sound system's card list, else the sound class of sysfs.
#include <algorithm>

#include "platform/instrumentation/linux/providers.h"
#include "platform/common/text.h"

namespace platform::instr {

namespace {

std::string_view trimmed(std::string_view s) { return text::TrimRightControls(text::TrimLeft(s)); }

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<Row> parseSoundCardList(std::string_view text) {
    std::vector<Row> rows;
    text::ForEachLine(text, [&](std::string_view line) {

        std::string_view rest = trimmed(line);
        std::size_t digits = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
        if (digits == 0) return;
        rest = trimmed(rest.substr(digits));
        if (rest.empty() || rest.front() != '[') return;
        const std::size_t close = rest.find("]:");
        if (close == std::string_view::npos) return;
        const std::string_view shortName = trimmed(rest.substr(1, close - 1));
        const std::string_view description = rest.substr(close + 2);

        std::string name;
        const std::size_t dash = description.find(" - ");
        if (dash != std::string_view::npos) name = cleanText(trimmed(description.substr(dash + 3)));
        if (name.empty()) name = cleanText(shortName);
        rows.push_back({name.empty() ? PropertyValue() : PropertyValue(name)});
    });
    return rows;
}

namespace {

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
        auto rows = parseSoundCardList(*list);
        if (!rows.empty()) return rows;
    }
    return fromSysfs(ctx);
}

}  // namespace platform::instr
