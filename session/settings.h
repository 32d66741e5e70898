#pragma once
// The program's settings in the registry key Software\Vantrel.
#include <cstdint>
#include <string>
#include <variant>

#include "platform/registry/registry.h"

namespace session {

inline constexpr const char* kSettingsKey = "Software\\Vantrel";

// A setting's holder: empty, a text, or a signed 32-bit number.
using SettingValue = std::variant<std::monostate, std::string, std::int32_t>;

// Empty text, the text, or the number's decimal digits.
std::string ToText(const SettingValue& holder);

// Reads a REG_SZ or REG_DWORD value into `holder`. Returns 0 when read, the registry's status when
// a registry call failed, -1 for a value of any other type (the holder is then left as it was).
std::int32_t ReadSettingValue(platform::Registry& registry, platform::HKey key, const std::string& valueName,
                              SettingValue& holder);

// The setting's text, read through a key of its own; empty when the key or the value is missing
// or cannot be read.
std::string ReadSetting(platform::Registry& registry, const std::string& valueName);

}  // namespace session
