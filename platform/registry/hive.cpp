#include "platform/registry/hive.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace platform {

namespace {

constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t KEY_WOW64_64KEY = 0x0100;
constexpr std::uint32_t KEY_WOW64_32KEY = 0x0200;
constexpr std::uint32_t MAXIMUM_ALLOWED = 0x02000000;
constexpr std::uint32_t GENERIC_READ = 0x80000000;
// KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_CREATE_LINK, DELETE, WRITE_DAC, WRITE_OWNER,
// GENERIC_ALL, GENERIC_WRITE.
constexpr std::uint32_t kWriteRights = 0x0002 | 0x0004 | 0x0020 | 0x00010000 | 0x00040000 |
                                       0x00080000 | 0x10000000 | 0x40000000;

// What a handle may do, with the generic rights mapped as the registry maps them.
std::uint32_t grantedAccess(std::uint32_t requested) {
    std::uint32_t access = requested & ~(GENERIC_READ | MAXIMUM_ALLOWED | KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    if (requested & (GENERIC_READ | MAXIMUM_ALLOWED)) access |= KEY_READ;
    return access;
}

// The names of a path; false for an empty name inside it (one trailing "\" is allowed).
bool splitPath(std::string_view path, std::vector<std::string_view>& names) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) return true;
    while (true) {
        const auto sep = path.find('\\');
        const std::string_view name = path.substr(0, sep);
        if (name.empty()) return false;
        names.push_back(name);
        if (sep == std::string_view::npos) return true;
        path.remove_prefix(sep + 1);
    }
}

}  // namespace

RegistryHive::RegistryHive(std::unique_ptr<RegistryKey> machine)
    : machine_(machine ? std::move(machine) : std::make_unique<RegistryKey>()),
      machineHandle_{machine_.get(), KEY_READ} {}

void RegistryHive::mount(const std::string& path, ViewBuilder build) {
    std::lock_guard lock(mutex_);
    std::vector<std::string_view> names;
    if (!splitPath(path, names) || names.empty()) throw std::invalid_argument("bad mount path: " + path);
    RegistryKey* key = machine_.get();
    for (auto name : names) key = &key->subkey(name);
    key->clear();
    pendingViews_[key] = std::move(build);
}

RegistryKey& RegistryHive::keyAt(const std::string& path) {
    std::lock_guard lock(mutex_);
    std::vector<std::string_view> names;
    if (!splitPath(path, names)) throw std::invalid_argument("bad key path: " + path);
    RegistryKey* key = machine_.get();
    for (auto name : names) key = &key->subkey(name);
    return *key;
}

void RegistryHive::materialize(RegistryKey& key) {
    if (pendingViews_.empty()) return;
    auto it = pendingViews_.find(&key);
    if (it == pendingViews_.end()) return;
    ViewBuilder build = std::move(it->second);
    pendingViews_.erase(it);  // once, even when building fails
    try {
        build(key);
    } catch (const std::exception&) {
        key.clear();  // a view that cannot be built is an empty key, as an unreadable list would be
    }
}

const RegistryHive::Handle* RegistryHive::find(HKey key) const {
    if (key == HKEY_LOCAL_MACHINE) return &machineHandle_;
    auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : &it->second;
}

std::int32_t RegistryHive::OpenKeyEx(HKey root, const std::string& path, std::uint32_t /*options*/,
                                     std::uint32_t access, HKey& result) {
    std::lock_guard lock(mutex_);
    result = 0;
    const Handle* from = find(root);
    if (!from) return ERROR_INVALID_HANDLE;
    std::vector<std::string_view> names;
    if (!splitPath(path, names)) return ERROR_FILE_NOT_FOUND;
    RegistryKey* key = from->key;
    materialize(*key);
    for (auto name : names) {
        key = key->findSubkey(name);
        if (!key) return ERROR_FILE_NOT_FOUND;
        materialize(*key);
    }
    if (access & kWriteRights) return ERROR_ACCESS_DENIED;
    result = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(result, Handle{key, grantedAccess(access)});
    return ERROR_SUCCESS;
}

std::int32_t RegistryHive::QueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                                        std::uint8_t* data, std::uint32_t* size) {
    std::lock_guard lock(mutex_);
    const Handle* h = find(key);
    if (!h) return ERROR_INVALID_HANDLE;
    if (!(h->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    const RegistryValue* value = h->key->findValue(valueName);
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    if (!size) return ERROR_SUCCESS;
    const auto needed = static_cast<std::uint32_t>(value->data.size());
    if (!data) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;  // the buffer is left as it was
    }
    if (needed) std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

std::int32_t RegistryHive::QueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen) {
    std::lock_guard lock(mutex_);
    const Handle* h = find(key);
    if (!h) return ERROR_INVALID_HANDLE;
    if (!(h->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const auto& subkeys = h->key->subkeys();
    if (subKeys) *subKeys = static_cast<std::uint32_t>(subkeys.size());
    if (maxSubKeyLen) {
        std::size_t longest = 0;
        for (const auto& k : subkeys) longest = std::max(longest, k->name().size());
        *maxSubKeyLen = static_cast<std::uint32_t>(longest);
    }
    return ERROR_SUCCESS;
}

std::int32_t RegistryHive::EnumKeyEx(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) {
    std::lock_guard lock(mutex_);
    const Handle* h = find(key);
    if (!h) return ERROR_INVALID_HANDLE;
    if (!(h->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    const auto& subkeys = h->key->subkeys();
    if (index >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& subkey = subkeys[index]->name();
    if (subkey.size() + 1 > *nameSize) return ERROR_MORE_DATA;  // buffer and size left as they were
    std::memcpy(name, subkey.c_str(), subkey.size() + 1);
    *nameSize = static_cast<std::uint32_t>(subkey.size());
    return ERROR_SUCCESS;
}

std::int32_t RegistryHive::CloseKey(HKey key) {
    std::lock_guard lock(mutex_);
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;  // a predefined key is never closed
    return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace platform
