// Naming the hardware behind a sysfs device folder.
#include "platform/instrumentation/linux/providers.h"

namespace platform::instr {

namespace {

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// "0000:00:1f.6": domain (four or more digits), bus, slot, function.
bool isPciAddress(std::string_view name) {
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos || colon < 4) return false;
    for (std::size_t i = 0; i < colon; ++i)
        if (!isHex(name[i])) return false;
    std::string_view rest = name.substr(colon + 1);
    if (rest.size() != 7 || rest[2] != ':' || rest[5] != '.') return false;
    return isHex(rest[0]) && isHex(rest[1]) && isHex(rest[3]) && isHex(rest[4]) && rest[6] >= '0' &&
           rest[6] <= '7';
}

// Far enough for a USB interface behind hubs, and for a virtio device on its PCI function.
constexpr int kMaxAncestors = 12;

}  // namespace

std::optional<std::string> pciFunctionName(ProviderContext& ctx, const std::string& devicePath) {
    auto vendor = ctx.root.readText(joinPath(devicePath, "vendor"));
    auto device = ctx.root.readText(joinPath(devicePath, "device"));
    if (!vendor || !device) return std::nullopt;
    auto v = parseHexId(*vendor);
    auto d = parseHexId(*device);
    if (!v || !d) return std::nullopt;
    return ctx.pci.name(*v, *d);
}

std::optional<std::string> hardwareName(ProviderContext& ctx, const std::string& devicePath) {
    if (devicePath.empty() || devicePath.front() != '/') return std::nullopt;
    std::string path = devicePath;
    for (int depth = 0; depth < kMaxAncestors && path != "/" && path != "/sys" && path != "/sys/devices";
         ++depth, path = parentPath(path)) {
        // A USB device (not one of its interfaces) carries its ids; the host controller above
        // it is PCI, so USB is looked for first.
        if (ctx.root.exists(joinPath(path, "idVendor"))) {
            if (auto product = ctx.root.readText(joinPath(path, "product"))) return product;
            auto v = ctx.root.readText(joinPath(path, "idVendor"));
            auto p = ctx.root.readText(joinPath(path, "idProduct"));
            if (v && p) {
                auto vid = parseHexId(*v);
                auto pid = parseHexId(*p);
                if (vid && pid) return hexIds(*vid, *pid);
            }
            return std::nullopt;
        }
        if (isPciAddress(baseName(path)) && ctx.root.exists(joinPath(path, "vendor")))
            return pciFunctionName(ctx, path);
    }
    return std::nullopt;
}

}  // namespace platform::instr
