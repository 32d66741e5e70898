// Network interfaces, in interface-index order, named after the hardware behind them.
#include <algorithm>
#include <climits>

#include "platform/instrumentation/linux/providers.h"

namespace platform::instr {

namespace {

// ARPHRD_LOOPBACK
constexpr long kLoopbackType = 772;

std::optional<long> readNumber(const SysRoot& root, const std::string& path) {
    auto text = root.readText(path);
    if (!text || text->empty() || text->size() > 18) return std::nullopt;
    long value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

std::vector<Row> collectNetworkAdapters(ProviderContext& ctx) {
    struct Interface {
        long index;
        std::string name;
        PropertyValue productName;
    };
    std::vector<Interface> interfaces;
    for (const auto& name : ctx.root.list("/sys/class/net")) {
        const std::string folder = joinPath("/sys/class/net", name);
        // The folder also holds plain files (bonding_masters) that are no interface.
        if (!ctx.root.isDirectory(folder)) continue;
        if (name == "lo" || readNumber(ctx.root, joinPath(folder, "type")) == kLoopbackType) continue;

        Interface entry{readNumber(ctx.root, joinPath(folder, "ifindex")).value_or(LONG_MAX), name, {}};
        const std::string deviceLink = joinPath(folder, "device");
        if (ctx.root.exists(deviceLink)) entry.productName = hardwareName(ctx, ctx.root.resolve(deviceLink));
        interfaces.push_back(std::move(entry));
    }
    // Names break ties, so interfaces without a readable index still come in a fixed order.
    std::stable_sort(interfaces.begin(), interfaces.end(),
                     [](const Interface& a, const Interface& b) { return a.index < b.index; });

    std::vector<Row> rows;
    for (auto& i : interfaces) {
        if (!i.productName) i.productName = cleanText(i.name);
        rows.push_back({std::move(i.productName)});
    }
    return rows;
}

}  // namespace platform::instr
