// The registry through the Win32 calls, on the 64-bit view of HKEY_LOCAL_MACHINE whatever the
// process's own width, so that the uninstall list is the machine's. The wide calls are used and
// their texts given as UTF-8, as the Linux hive gives them; the status codes are the system's own.
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace platform {
namespace {
// Taken before the system's header, whose macros of the same names stand for the system's values.
constexpr HKey kMachine = HKEY_LOCAL_MACHINE;
}  // namespace
}  // namespace platform

#include <windows.h>

#include "platform/common/windows/wide.h"

namespace platform {
namespace {

// UTF-16 names grow by at most three bytes a unit in UTF-8.
constexpr std::uint32_t kUtf8PerUnit = 3;

::HKEY ToSystem(HKey key) {
    // The system's predefined key sign-extends on 64 bits; ours is the 32-bit value.
    if (key == kMachine) return HKEY_LOCAL_MACHINE;
    return reinterpret_cast<::HKEY>(key);
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

class WindowsRegistry final : public Registry {
public:
    std::int32_t OpenKeyEx(HKey root, const std::string& path, std::uint32_t options, std::uint32_t access,
                           HKey& result) override {
        ::HKEY key = nullptr;
        const LSTATUS status =
            RegOpenKeyExW(ToSystem(root), win::Widen(path).c_str(), options, access | KEY_WOW64_64KEY, &key);
        if (status == ERROR_SUCCESS) result = reinterpret_cast<HKey>(key);
        return status;
    }

    std::int32_t QueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* size) override {
        // The whole value first, so that a text's size is its size in UTF-8.
        const std::wstring name = win::Widen(valueName);
        DWORD valueType = 0, bytes = 0;
        LSTATUS status = RegQueryValueExW(ToSystem(key), name.c_str(), nullptr, &valueType, nullptr, &bytes);
        std::vector<BYTE> raw;
        for (int attempt = 0; status == ERROR_SUCCESS || status == ERROR_MORE_DATA; ++attempt) {
            if (attempt == 8) return ERROR_MORE_DATA;  // another writer keeps changing it
            raw.resize(bytes + sizeof(wchar_t));
            DWORD got = bytes;
            status = RegQueryValueExW(ToSystem(key), name.c_str(), nullptr, &valueType, raw.data(), &got);
            if (status == ERROR_SUCCESS) {
                raw.resize(got);
                break;
            }
            if (status == ERROR_MORE_DATA) bytes = got;
        }
        if (status != ERROR_SUCCESS) return status;

        std::string value;
        if (IsText(valueType)) {
            const auto* wide = reinterpret_cast<const wchar_t*>(raw.data());
            value = win::Narrow(wide, raw.size() / sizeof(wchar_t));  // the NULs it holds included
        } else {
            value.assign(raw.begin(), raw.end());
        }
        if (type) *type = valueType;
        if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
        const auto needed = static_cast<std::uint32_t>(value.size());
        if (!data) {
            *size = needed;
            return ERROR_SUCCESS;
        }
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::copy(value.begin(), value.end(), data);
        *size = needed;
        return ERROR_SUCCESS;
    }

    std::int32_t QueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen) override {
        DWORD count = 0, longest = 0;
        const LSTATUS status = RegQueryInfoKeyW(ToSystem(key), nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return status;
        if (subKeys) *subKeys = count;
        if (maxSubKeyLen) *maxSubKeyLen = longest * kUtf8PerUnit;  // room for any name in UTF-8
        return ERROR_SUCCESS;
    }

    std::int32_t EnumKeyEx(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) override {
        // A registry key name has at most 255 characters.
        wchar_t wide[256];
        DWORD length = 256;
        const LSTATUS status =
            RegEnumKeyExW(ToSystem(key), index, wide, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return status;
        const std::string text = win::Narrow(wide, length);
        if (!nameSize || text.size() + 1 > *nameSize) return ERROR_MORE_DATA;
        std::copy(text.begin(), text.end(), name);
        name[text.size()] = '\0';
        *nameSize = static_cast<std::uint32_t>(text.size());
        return ERROR_SUCCESS;
    }

    std::int32_t CloseKey(HKey key) override {
        if (key == kMachine) return ERROR_SUCCESS;  // predefined, never closed
        return RegCloseKey(ToSystem(key));
    }
};

}  // namespace

std::unique_ptr<Registry> makeSystemRegistry() { return std::make_unique<WindowsRegistry>(); }

}  // namespace platform
