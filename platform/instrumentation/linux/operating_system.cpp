// The operating system: the distribution's name from os-release, the root folder and the root
// file system's device; the point release and the running kernel.
#include "platform/instrumentation/linux/providers.h"
#include "platform/common/text.h"

namespace platform::instr {

namespace {

}  // namespace

OsRelease parseOsRelease(std::string_view text) {
    OsRelease release;
    text::ForEachLine(text, [&](std::string_view line) {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || line.front() == '#') return;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return;
        const std::string_view key = line.substr(0, eq);
        std::string value = cleanText(unquoteOsReleaseValue(line.substr(eq + 1)));
        if (value.empty()) return;
        if (key == "PRETTY_NAME") release.prettyName = value;
        else if (key == "NAME") release.name = value;
        else if (key == "VERSION") release.version = value;
    });
    return release;
}

namespace {

std::string distributionName(const SysRoot& root) {
    std::optional<std::string> text = root.readBytes("/etc/os-release");
    if (!text) text = root.readBytes("/usr/lib/os-release");
    // os-release's own defaults when a field, or the whole file, is missing.
    if (!text) return "Linux";
    const OsRelease release = parseOsRelease(*text);
    if (release.prettyName) return *release.prettyName;
    std::string name = release.name.value_or("Linux");
    if (release.version) name += " " + *release.version;
    return name;
}

// Mount table fields escape blanks and backslashes as octal ("\040").
std::string unescapeMountField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// The source of the mount on "/"; the last one wins, as later mounts cover earlier ones.
std::string rootDevice(const SysRoot& root) {
    auto table = root.readBytes("/proc/self/mounts", 1 << 20);
    if (!table) return {};
    std::string device;
    std::string_view text(*table);
    text::ForEachLine(text, [&](std::string_view line) {
        const std::size_t first = line.find(' ');
        if (first == std::string_view::npos) return;
        const std::size_t second = line.find(' ', first + 1);
        const std::string_view target =
            line.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
        if (unescapeMountField(target) == "/") device = cleanText(unescapeMountField(line.substr(0, first)));
    });
    return device;
}

}  // namespace

std::string unquoteOsReleaseValue(std::string_view raw) {
    while (!raw.empty() && static_cast<unsigned char>(raw.back()) <= ' ') raw.remove_suffix(1);
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            for (++i; i < raw.size() && raw[i] != '"'; ++i) {
                // Inside double quotes a backslash escapes only these, as in the shell.
                if (raw[i] == '\\' && i + 1 < raw.size() &&
                    std::string_view("\"\\$`").find(raw[i + 1]) != std::string_view::npos)
                    ++i;
                out += raw[i];
            }
        } else if (c == '\'') {
            for (++i; i < raw.size() && raw[i] != '\''; ++i) out += raw[i];
        } else if (c == '\\' && i + 1 < raw.size()) {
            out += raw[++i];
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<Row> collectOperatingSystem(ProviderContext& ctx) {
    const std::string name = distributionName(ctx.root) + "|" + ctx.root.root() + "|" + rootDevice(ctx.root);

    const auto pointRelease = ctx.root.readText("/etc/debian_version");
    const auto kernel = ctx.root.readText("/proc/sys/kernel/osrelease");
    PropertyValue servicePack;
    if (pointRelease && kernel) servicePack = *pointRelease + ", kernel " + *kernel;
    else if (kernel) servicePack = "kernel " + *kernel;
    else servicePack = pointRelease;
    return {{name, servicePack}};
}

}  // namespace platform::instr
