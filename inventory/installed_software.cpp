// The uninstall list read through the registry's ANSI shape, and one upload per program.
#include "inventory/installed_software.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "inventory/texts.h"
#include "platform/common/guard.h"

namespace inventory {

using platform::guarded;

namespace {

// A value that keeps changing size while we read it is given up after this many tries.
constexpr int kReadAttempts = 8;

// Closes a key on every way out, a stopped run included.
class KeyCloser {
public:
    KeyCloser(platform::Registry& registry, platform::HKey key) : registry_(registry), key_(key) {}
    ~KeyCloser() {
        if (key_ != 0) guarded([&] { registry_.CloseKey(key_); });
    }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    platform::Registry& registry_;
    platform::HKey key_;
};

}  // namespace

platform::HKey OpenRegistryKey(platform::Registry& registry, platform::HKey root, const std::string& path) {
    platform::HKey key = 0;
    if (registry.OpenKeyEx(root, path, 0, platform::KEY_READ, key) != platform::ERROR_SUCCESS) return 0;
    return key;
}

std::string ReadRegistryString(platform::Registry& registry, platform::HKey key, const std::string& valueName) {
    if (key == 0) return {};
    // Ask the size first so that no value is too long to read; another writer may change the
    // value between the two calls, and then the read says so and we ask again.
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        std::uint32_t size = 0;
        if (registry.QueryValueEx(key, valueName, nullptr, nullptr, &size) != platform::ERROR_SUCCESS) return {};
        if (size == 0) return {};
        std::string buffer(size, ' ');
        std::uint32_t read = size;
        const std::int32_t status = registry.QueryValueEx(
            key, valueName, nullptr, reinterpret_cast<std::uint8_t*>(buffer.data()), &read);
        if (status == platform::ERROR_MORE_DATA) continue;
        if (status != platform::ERROR_SUCCESS) return {};
        buffer.resize(std::min(read, size));
        return TrimAtNull(buffer);
    }
    return {};
}

std::string TrimAtNull(const std::string& text) {
    const auto nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}

UninstallEntry ReadUninstallEntry(platform::Registry& registry, const std::string& listPath,
                                  const std::string& subkeyName) {
    UninstallEntry entry;
    const platform::HKey key = OpenRegistryKey(registry, platform::HKEY_LOCAL_MACHINE, listPath + "\\" + subkeyName);
    if (key == 0) return entry;
    KeyCloser closer(registry, key);
    entry.DisplayName = ReadRegistryString(registry, key, kDisplayName);
    entry.DisplayVersion = ReadRegistryString(registry, key, kDisplayVersion);
    return entry;
}

std::string BuildSoftwareText(const UninstallEntry& entry) {
    if (entry.DisplayVersion.empty()) return entry.DisplayName;
    return entry.DisplayName + kVersionMark + entry.DisplayVersion;
}

void UploadInstalledSoftware(platform::Registry& registry, const service::Identity& who, RunSteps& steps) {
    platform::HKey list = 0;
    guarded([&] { list = OpenRegistryKey(registry, platform::HKEY_LOCAL_MACHINE, platform::kUninstallPath); });
    if (list == 0) return;
    KeyCloser closer(registry, list);

    std::uint32_t count = 0;
    std::uint32_t longest = 0;
    bool counted = false;
    guarded([&] { counted = registry.QueryInfoKey(list, &count, &longest) == platform::ERROR_SUCCESS; });
    if (!counted) return;

    // The last program a request was built for; an entry that is skipped leaves it showing.
    std::string softwareText;
    const std::uint32_t room = longest < std::numeric_limits<std::uint32_t>::max() ? longest + 1 : longest;
    for (std::uint32_t index = 0; index < count; ++index) {
        guarded([&] {
            std::string name(room, ' ');
            std::uint32_t nameSize = room;
            const std::int32_t status = registry.EnumKeyEx(list, index, name.data(), &nameSize);
            if (status != platform::ERROR_SUCCESS && status != platform::ERROR_MORE_DATA) return;

            UninstallEntry entry;
            guarded([&] { entry = ReadUninstallEntry(registry, platform::kUninstallPath, TrimAtNull(name)); });
            if (entry.DisplayName.empty()) return;
            guarded([&] { softwareText = BuildSoftwareText(entry); });
            guarded([&] { steps.Send(service::UploadRequest(service::Upload::Software, who, {softwareText})); });
        });
        steps.Yield();
        guarded([&] { steps.SetProgressText(kUploadingSoftware + softwareText); });
    }
}

}  // namespace inventory
