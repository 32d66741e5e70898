// The machine's make and model, and its firmware version: the firmware's own tables (DMI),
// else the device tree of boards that have no such tables.
#include <array>

#include "platform/instrumentation/linux/providers.h"
#include "platform/instrumentation/query.h"

namespace platform::instr {

namespace {

// Texts that board makers leave in the tables instead of a value.
constexpr std::array<std::string_view, 9> kPlaceholders = {
    "To Be Filled By O.E.M.", "System Product Name", "System manufacturer",
    "Default string",         "Not Specified",       "Not Applicable",
    "O.E.M.",                 "None",                "Type1ProductConfigId",
};

PropertyValue firmwareText(const SysRoot& root, std::string_view path) {
    auto text = root.readText(path);
    if (!text || isFirmwarePlaceholder(*text)) return std::nullopt;
    return text;
}

// The device tree's model is a NUL-terminated string.
PropertyValue deviceTreeModel(const SysRoot& root) {
    for (const char* path : {"/proc/device-tree/model", "/sys/firmware/devicetree/base/model"}) {
        auto bytes = root.readBytes(path, 4096);
        if (!bytes) continue;
        std::string text = cleanText(std::string_view(*bytes).substr(0, bytes->find('\0')));
        if (!text.empty() && !isFirmwarePlaceholder(text)) return text;
    }
    return std::nullopt;
}

}  // namespace

bool isFirmwarePlaceholder(std::string_view value) {
    while (!value.empty() && static_cast<unsigned char>(value.front()) <= ' ') value.remove_prefix(1);
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.remove_suffix(1);
    if (value.empty()) return true;
    for (auto placeholder : kPlaceholders) {
        if (sameName(value, placeholder)) return true;
    }
    return false;
}

std::vector<Row> collectComputerSystem(ProviderContext& ctx) {
    PropertyValue manufacturer = firmwareText(ctx.root, "/sys/class/dmi/id/sys_vendor");
    PropertyValue model = firmwareText(ctx.root, "/sys/class/dmi/id/product_name");
    if (!model) model = deviceTreeModel(ctx.root);
    return {{manufacturer, model}};
}

std::vector<Row> collectBios(ProviderContext& ctx) {
    return {{firmwareText(ctx.root, "/sys/class/dmi/id/bios_version")}};
}

}  // namespace platform::instr
