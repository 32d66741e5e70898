#include "platform/registry/linux/package_view.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>
#include <unordered_map>
#include <unordered_set>

#include "platform/registry/encoding.h"
#include "platform/registry/linux/file_io.h"
#include "platform/registry/registry.h"
#include "platform/common/text.h"

extern char** environ;

namespace platform {

namespace {

std::string_view trimBlanks(std::string_view s) { return text::TrimRight(text::TrimLeft(s), " \t\r"); }

bool endsWithWordInstalled(std::string_view status) {
    status = trimBlanks(status);
    const auto space = status.find_last_of(" \t");
    const std::string_view last = space == std::string_view::npos ? status : status.substr(space + 1);
    return last == "installed";
}

// A field as the uninstall list shows it: the wire carries UTF-8 without control characters,
// and a database may hold anything.
std::string sendable(std::string_view field) { return std::string(text::Trim(text::WireText(field), " ")); }

struct Stanza {
    std::string_view package, status, version, architecture;
    // Continuations of a field we keep; rare, so kept apart from the views into the text.
    std::string statusMore, versionMore;
    bool any = false;
};

void finish(Stanza& s, std::vector<InstalledPackage>& out) {
    if (s.any && !s.package.empty()) {
        const std::string status = std::string(s.status) + s.statusMore;
        std::string name = sendable(s.package);
        if (endsWithWordInstalled(status) && !name.empty()) {
            std::string version = sendable(std::string(s.version) + s.versionMore);
            out.push_back({std::move(name), std::move(version), sendable(s.architecture)});
        }
    }
    s = Stanza{};
}

// Spawns `program` with `args` (no shell; a bare name is looked up in PATH) and collects its
// standard output. False when it cannot be started or does not exit with status 0.
bool capture(const std::string& program, const std::vector<std::string>& args, std::string& out) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return false;
    }
    out.clear();
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::vector<InstalledPackage> parseDpkgStatus(std::string_view status) {
    std::vector<InstalledPackage> out;
    Stanza stanza;
    enum class Field { Other, Status, Version } field = Field::Other;
    text::ForEachLine(status, [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        if (trimBlanks(line).empty()) {
            finish(stanza, out);
            field = Field::Other;
            return;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            // Part of the field before; only folded Status or Version lines matter here.
            if (field == Field::Status) stanza.statusMore += " " + std::string(trimBlanks(line));
            if (field == Field::Version) stanza.versionMore += " " + std::string(trimBlanks(line));
            return;
        }
        stanza.any = true;
        field = Field::Other;
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) return;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = line.substr(colon + 1);
        switch (name.empty() ? 0 : name.front() | 0x20) {
            case 'p':
                if (text::EqualsNoCase(name, "Package")) stanza.package = value;
                break;
            case 's':
                if (text::EqualsNoCase(name, "Status")) {
                    stanza.status = value;
                    field = Field::Status;
                }
                break;
            case 'v':
                if (text::EqualsNoCase(name, "Version")) {
                    stanza.version = value;
                    field = Field::Version;
                }
                break;
            case 'a':
                if (text::EqualsNoCase(name, "Architecture")) stanza.architecture = value;
                break;
            default:
                break;
        }
    });
    finish(stanza, out);
    return out;
}

std::vector<InstalledPackage> parseRpmQuery(std::string_view text) {
    std::vector<InstalledPackage> out;
    const std::string utf8 = utf8FromLocal8Bit(text);
    text::ForEachLine(utf8, [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto tab = line.find('\t');
        if (tab == std::string_view::npos) return;
        std::string name = sendable(line.substr(0, tab));
        if (name.empty()) return;
        out.push_back({std::move(name), sendable(line.substr(tab + 1)), {}});
    });
    return out;
}

std::vector<InstalledPackage> readDpkgPackages(const std::string& root) {
    std::string text;
    if (!readWholeFile((std::filesystem::path(root) / "var/lib/dpkg/status").string(), text)) return {};
    return parseDpkgStatus(text);
}

std::string readDpkgNativeArchitecture(const std::string& root) {
    std::string text;
    if (!readWholeFile((std::filesystem::path(root) / "var/lib/dpkg/arch").string(), text)) return {};
    std::string native;
    text::ForEachLine(text, [&](std::string_view line) {
        if (native.empty()) native = std::string(trimBlanks(line));
    });
    return native;
}

std::vector<std::string> dpkgBinaryNames(const std::vector<InstalledPackage>& dpkg, std::string native) {
    for (std::size_t i = 0; native.empty() && i < dpkg.size(); ++i)
        if (dpkg[i].architecture != "all") native = dpkg[i].architecture;
    std::vector<std::string> names;
    names.reserve(dpkg.size());
    for (const auto& p : dpkg) {
        const bool foreign = !p.architecture.empty() && p.architecture != "all" && p.architecture != native;
        names.push_back(foreign ? p.name + ":" + p.architecture : p.name);
    }
    return names;
}

std::vector<InstalledPackage> readRpmPackages(const PackageSources& sources) {
    std::error_code ec;
    const std::filesystem::path root(sources.root);
    if (!std::filesystem::is_directory(root / "var/lib/rpm", ec) &&
        !std::filesystem::is_directory(root / "usr/lib/sysimage/rpm", ec))
        return {};
    if (sources.rpmProgram.empty()) return {};
    std::string output;
    if (!capture(sources.rpmProgram, {"--root", sources.root, "-qa", "--qf", "%{NAME}\t%{VERSION}-%{RELEASE}\n"}, output))
        return {};
    return parseRpmQuery(output);
}

void fillUninstallKey(RegistryKey& key, const std::vector<InstalledPackage>& dpkg,
                      const std::vector<InstalledPackage>& rpm, const std::string& dpkgNative) {
    const std::vector<std::string> binaryNames = dpkgBinaryNames(dpkg, dpkgNative);
    std::vector<std::string> names;
    names.reserve(dpkg.size() + rpm.size());

    // dpkg: "name:arch" where one name is installed for more than one architecture.
    {
        std::unordered_map<std::string_view, std::vector<std::string_view>> arches;
        for (const auto& p : dpkg) arches[p.name].push_back(p.architecture);
        for (const auto& p : dpkg) {
            const auto& a = arches[p.name];
            bool several = false;
            for (auto x : a) several = several || x != a.front();
            names.push_back(several && !p.architecture.empty() ? p.name + ":" + p.architecture : p.name);
        }
    }
    // rpm: "name-version" where one name is installed more than once (kernels, multilib).
    {
        std::unordered_map<std::string_view, int> count;
        for (const auto& p : rpm) ++count[p.name];
        for (const auto& p : rpm) names.push_back(count[p.name] > 1 ? p.name + "-" + p.version : p.name);
    }

    // "\\" separates key names in a path: a subkey named with one could be listed but never opened.
    for (auto& name : names) std::replace(name.begin(), name.end(), '\\', '/');

    std::unordered_set<std::string> taken;
    taken.reserve(names.size() * 2);
    for (const auto& k : key.subkeys()) taken.insert(foldRegistryName(k->name()));
    std::vector<std::unique_ptr<RegistryKey>> keys;
    keys.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const InstalledPackage& p = i < dpkg.size() ? dpkg[i] : rpm[i - dpkg.size()];
        std::string name = names[i];
        for (int n = 2; !taken.insert(foldRegistryName(name)).second; ++n)
            name = names[i] + " (" + std::to_string(n) + ")";
        auto sub = std::make_unique<RegistryKey>(std::move(name));
        sub->setValue("DisplayName", REG_SZ, registryText(i < dpkg.size() ? binaryNames[i] : p.name));
        sub->setValue("DisplayVersion", REG_SZ, registryText(p.version));
        keys.push_back(std::move(sub));
    }
    key.adoptSubkeys(std::move(keys));
}

RegistryHive::ViewBuilder packageView(PackageSources sources) {
    return [sources = std::move(sources)](RegistryKey& key) {
        fillUninstallKey(key, readDpkgPackages(sources.root), readRpmPackages(sources),
                         readDpkgNativeArchitecture(sources.root));
    };
}

}  // namespace platform
