#pragma once
// An in-memory registry behind the ANSI registry calls, with Win32's status codes. Only
// HKEY_LOCAL_MACHINE exists. Nothing writes to it, so write access is refused.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/registry/key.h"
#include "platform/registry/registry.h"

namespace platform {

class RegistryHive : public Registry {
public:
    // Fills a mounted key's content, once, when it is first needed.
    using ViewBuilder = std::function<void(RegistryKey&)>;

    explicit RegistryHive(std::unique_ptr<RegistryKey> machine = nullptr);

    // Puts a view in place of the key at `path` below HKEY_LOCAL_MACHINE (whatever the hive holds
    // there is dropped). `build` runs on the first open of that key or of a key below it.
    // Mount before the first open: keys under `path` are replaced.
    void mount(const std::string& path, ViewBuilder build);

    std::int32_t OpenKeyEx(HKey root, const std::string& path, std::uint32_t options,
                           std::uint32_t access, HKey& result) override;
    std::int32_t QueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) override;
    std::int32_t QueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen) override;
    std::int32_t EnumKeyEx(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) override;
    std::int32_t CloseKey(HKey key) override;

protected:
    // The key at `path` below HKEY_LOCAL_MACHINE, made with its parents when missing; for
    // filling a hive in code.
    RegistryKey& keyAt(const std::string& path);

private:
    struct Handle {
        RegistryKey* key;
        std::uint32_t access;
    };

    const Handle* find(HKey key) const;
    void materialize(RegistryKey& key);

    mutable std::mutex mutex_;
    std::unique_ptr<RegistryKey> machine_;
    Handle machineHandle_;
    std::unordered_map<const RegistryKey*, ViewBuilder> pendingViews_;
    std::unordered_map<HKey, Handle> handles_;
    HKey nextHandle_ = 0x1000;  // never reused, so a closed handle stays invalid
};

}  // namespace platform
