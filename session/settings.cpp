#include "session/settings.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "inventory/installed_software.h"
#include "platform/common/guard.h"

namespace session {

std::string ToText(const SettingValue& holder) {
    if (const auto* text = std::get_if<std::string>(&holder)) return *text;
    if (const auto* number = std::get_if<std::int32_t>(&holder)) return std::to_string(*number);
    return {};
}

std::int32_t ReadSettingValue(platform::Registry& registry, platform::HKey key, const std::string& valueName,
                              SettingValue& holder) {
    std::int32_t status = platform::ERROR_SUCCESS;
    try {
        std::uint32_t type = 0, size = 0;
        status = registry.QueryValueEx(key, valueName, &type, nullptr, &size);
        if (status != platform::ERROR_SUCCESS) return status;

        if (type == platform::REG_SZ) {
            std::string buffer(size, '\0');
            std::uint32_t read = size;
            status = registry.QueryValueEx(key, valueName, nullptr, reinterpret_cast<std::uint8_t*>(buffer.data()), &read);
            // The text up to its first NUL, as every registry text of the program is read: a value
            // stored without its terminator keeps its last character.
            if (status == platform::ERROR_SUCCESS)
                holder = inventory::TrimAtNull(buffer.substr(0, std::min(read, size)));
            else
                holder = std::monostate{};
            return status;
        }
        if (type == platform::REG_DWORD) {
            std::uint8_t bytes[4] = {};
            std::uint32_t read = sizeof bytes;
            status = registry.QueryValueEx(key, valueName, nullptr, bytes, &read);
            if (status == platform::ERROR_SUCCESS) {
                std::int32_t number = 0;
                std::memcpy(&number, bytes, sizeof number);
                holder = number;
            }
            return status;
        }
        return -1;
    } catch (const std::exception&) {
        return status;  // any other failure ends the read quietly
    }
}

std::string ReadSetting(platform::Registry& registry, const std::string& valueName) {
    SettingValue holder;
    // The open's result is not examined: with no key the read simply fails.
    platform::HKey key = 0;
    platform::guarded([&] {
        registry.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, kSettingsKey, 0, platform::KEY_QUERY_VALUE, key);
    });
    ReadSettingValue(registry, key, valueName, holder);
    platform::guarded([&] { registry.CloseKey(key); });
    return ToText(holder);
}

}  // namespace session
