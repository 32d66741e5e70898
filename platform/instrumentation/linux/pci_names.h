#pragma once
// Names of PCI vendors and devices from the pci.ids list, through libpci's name lookup.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

struct pci_access;

namespace platform::instr {

// "0x8086\n" gives 0x8086; nothing for text that is not a 16-bit hexadecimal number.
std::optional<unsigned> parseHexId(std::string_view text);

// "8086:5916".
std::string hexIds(unsigned vendor, unsigned device);

class PciNames {
public:
    // `idsFile`: the list to read; nothing means the system's own.
    explicit PciNames(std::optional<std::string> idsFile = std::nullopt);
    ~PciNames();
    PciNames(const PciNames&) = delete;
    PciNames& operator=(const PciNames&) = delete;

    // "Intel Corporation HD Graphics 620"; "Intel Corporation Device 1234" when only the vendor
    // is known; "8086:1234" when neither is.
    std::string name(unsigned vendor, unsigned device);

private:
    std::optional<std::string> lookup(int flags, unsigned vendor, unsigned device);

    std::optional<std::string> idsFile_;
    std::mutex mutex_;  // libpci's name cache is not thread-safe
    pci_access* access_ = nullptr;
    bool broken_ = false;
};

}  // namespace platform::instr
