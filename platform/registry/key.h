#pragma once
// One key of an in-memory registry: its values and its subkeys, the subkeys kept in the
// order a registry enumerates them (names compared without regard to case).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Compares two UTF-8 names as the registry does: each character upper-cased first (ASCII and
// Latin-1 letters), so "_x" sorts after "Ax". Negative, zero or positive, like strcmp.
int compareRegistryNames(std::string_view a, std::string_view b);

// The name as compareRegistryNames sees it (upper-cased), for hashing names.
std::string foldRegistryName(std::string_view name);

inline bool sameRegistryName(std::string_view a, std::string_view b) {
    return compareRegistryNames(a, b) == 0;
}

struct RegistryValue {
    std::string name;  // "" is the default value
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;  // texts in UTF-8 with their terminating NUL
};

// A text value's bytes: the text and its NUL.
std::vector<std::uint8_t> registryText(std::string_view text);

class RegistryKey {
public:
    explicit RegistryKey(std::string name = {}) : name_(std::move(name)) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    const std::string& name() const { return name_; }

    const std::vector<std::unique_ptr<RegistryKey>>& subkeys() const { return subkeys_; }
    RegistryKey* findSubkey(std::string_view name) const;
    // The subkey of that name, created when there is none (an existing key keeps its spelling).
    RegistryKey& subkey(std::string_view name);
    bool removeSubkey(std::string_view name);
    // Takes over many keys at once, sorting them once. Names must differ from each other and
    // from the existing subkeys, regardless of case.
    void adoptSubkeys(std::vector<std::unique_ptr<RegistryKey>> keys);

    // Values in the order they were first set, as a registry keeps them.
    const std::vector<RegistryValue>& values() const { return values_; }
    const RegistryValue* findValue(std::string_view name) const;
    void setValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
    bool removeValue(std::string_view name);

    void clear();

private:
    std::vector<std::unique_ptr<RegistryKey>>::const_iterator lowerBound(std::string_view name) const;

    std::string name_;
    std::vector<std::unique_ptr<RegistryKey>> subkeys_;
    std::vector<RegistryValue> values_;
};

}  // namespace platform
