// Display controllers: PCI functions of base class 0x03, with the version of the bound driver.
#include "platform/instrumentation/linux/providers.h"

namespace platform::instr {

namespace {

bool isVersionNumber(std::string_view word) {
    bool digit = false;
    bool dot = false;
    for (char c : word) {
        if (c >= '0' && c <= '9') digit = true;
        else if (c == '.') dot = true;
        else return false;
    }
    return digit && dot && word.front() != '.' && word.back() != '.';
}

// "NVRM version: NVIDIA UNIX x86_64 Kernel Module  535.183.01  Sun May 12 19:39:15 UTC 2024"
std::optional<std::string> nvidiaVersion(const SysRoot& root) {
    auto text = root.readText("/proc/driver/nvidia/version");
    if (!text) return std::nullopt;
    std::string_view line(*text);
    line = line.substr(0, line.find('\n'));
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos) break;
        line.remove_prefix(start);
        const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
        if (isVersionNumber(line.substr(0, end))) return std::string(line.substr(0, end));
        line.remove_prefix(end);
    }
    return std::nullopt;
}

PropertyValue driverVersion(const SysRoot& root, const std::string& device) {
    const auto driver = root.linkName(joinPath(device, "driver"));
    if (!driver) return std::nullopt;
    if (*driver == "nvidia") {
        if (auto version = nvidiaVersion(root)) return version;
    }
    // The module behind the driver; a driver's name may differ from its module's ("virtio-pci"
    // is module virtio_pci).
    std::vector<std::string> modules;
    if (auto module = root.linkName(joinPath(device, "driver/module"))) modules.push_back(*module);
    modules.push_back(*driver);
    std::string underscored = *driver;
    for (char& c : underscored)
        if (c == '-') c = '_';
    modules.push_back(underscored);

    for (const auto& module : modules) {
        if (auto version = root.readText(joinPath(joinPath("/sys/module", module), "version")))
            return version;
    }
    // Without a version of its own, a driver from the kernel's tree is as old as the kernel;
    // one built outside it (taint flag O) has no version we could know.
    for (const auto& module : modules) {
        if (auto taint = root.readText(joinPath(joinPath("/sys/module", module), "taint"))) {
            if (taint->find('O') != std::string::npos) return std::nullopt;
            break;
        }
    }
    return root.readText("/proc/sys/kernel/osrelease");
}

}  // namespace

std::vector<Row> collectVideoControllers(ProviderContext& ctx) {
    std::vector<Row> rows;
    for (const auto& entry : ctx.root.list("/sys/bus/pci/devices")) {
        const std::string device = ctx.root.resolve(joinPath("/sys/bus/pci/devices", entry));
        if (device.empty()) continue;
        auto cls = ctx.root.readText(joinPath(device, "class"));
        if (!cls || cls->rfind("0x03", 0) != 0) continue;
        rows.push_back({pciFunctionName(ctx, device), driverVersion(ctx.root, device)});
    }
    return rows;
}

}  // namespace platform::instr
