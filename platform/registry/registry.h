#pragma once
// The registry, in the shape of its ANSI functions: status codes are Win32's, texts are
// the system's 8-bit code page (UTF-8 on Linux), sizes are in bytes (names: in characters).
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

using HKey = std::uintptr_t;  // 0 is no key

inline constexpr HKey HKEY_LOCAL_MACHINE = 0x80000002u;

// The uninstall list below HKEY_LOCAL_MACHINE: the installed programs, one subkey each.
inline constexpr const char* kUninstallPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

inline constexpr std::int32_t ERROR_SUCCESS = 0;
inline constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::int32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::int32_t ERROR_MORE_DATA = 234;
inline constexpr std::int32_t ERROR_NO_MORE_ITEMS = 259;

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;
inline constexpr std::uint32_t REG_QWORD = 11;

inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t KEY_READ = 0x20019;

class Registry {
public:
    virtual ~Registry() = default;

    // RegOpenKeyExA. `root` is HKEY_LOCAL_MACHINE or a key opened before; `path` uses "\".
    // On success `result` is a new handle that CloseKey releases.
    virtual std::int32_t OpenKeyEx(HKey root, const std::string& path, std::uint32_t options,
                                   std::uint32_t access, HKey& result) = 0;

    // RegQueryValueExA. With `data` null only `type` and `*size` are filled (the size a read
    // needs; a text's size counts its terminating NUL). With a buffer too small for the data
    // the result is ERROR_MORE_DATA and `*size` says what is needed. `type` may be null.
    virtual std::int32_t QueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                                      std::uint8_t* data, std::uint32_t* size) = 0;

    // RegQueryInfoKeyA: number of subkeys and the length of the longest subkey name
    // (characters, without the NUL). Either pointer may be null.
    virtual std::int32_t QueryInfoKey(HKey key, std::uint32_t* subKeys,
                                      std::uint32_t* maxSubKeyLen) = 0;

    // RegEnumKeyExA: the name of subkey `index` (case-insensitive name order) into `name`,
    // `*nameSize` characters of room including the NUL on entry, the name's length on success.
    // ERROR_MORE_DATA when it does not fit (buffer and size then untouched), ERROR_NO_MORE_ITEMS
    // past the last subkey.
    virtual std::int32_t EnumKeyEx(HKey key, std::uint32_t index, char* name,
                                   std::uint32_t* nameSize) = 0;

    // RegCloseKey.
    virtual std::int32_t CloseKey(HKey key) = 0;
};

// The machine's registry on Linux: the hive file (VANTREL_REGISTRY, else /etc/vantrel/registry.reg)
// with the uninstall list mounted over the package database below the system root
// (VANTREL_SYSROOT, else /).
std::unique_ptr<Registry> makeSystemRegistry();

}  // namespace platform
