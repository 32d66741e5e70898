#include "platform/instrumentation/linux/pci_names.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <pci/pci.h>
}

#include "platform/instrumentation/linux/sysfs_reader.h"
#include "platform/common/text.h"

namespace platform::instr {

namespace {

void quietMessage(char*, ...) {}

// libpci calls this only for an out-of-memory or a programming error, and expects no return.
// The GNU spelling, since clang counts only it as part of the pointer's type that libpci declares.
__attribute__((noreturn)) void fatalMessage(char*, ...) { std::abort(); }

}  // namespace

std::optional<unsigned> parseHexId(std::string_view text) {
    text = text::TrimRightControls(text::TrimLeft(text));
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.size() > 4) return std::nullopt;
    return text::ParseWhole<unsigned>(text, 16);
}

std::string hexIds(unsigned vendor, unsigned device) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04x:%04x", vendor & 0xFFFFu, device & 0xFFFFu);
    return buf;
}

PciNames::PciNames(std::optional<std::string> idsFile) : idsFile_(std::move(idsFile)) {}

PciNames::~PciNames() {
    if (access_) pci_cleanup(access_);
}

std::optional<std::string> PciNames::lookup(int flags, unsigned vendor, unsigned device) {
    if (!access_ && !broken_) {
        access_ = pci_alloc();
        if (!access_) {
            broken_ = true;
            return std::nullopt;
        }
        access_->warning = quietMessage;
        access_->debug = quietMessage;
        access_->error = fatalMessage;
        // The list alone decides: no cache file in the home folder, no network look-ups, and no
        // udev hwdb (a tree's names must not come from this machine; libudev also leaks per look-up).
        access_->id_lookup_mode = PCI_LOOKUP_NO_HWDB;
        if (idsFile_) pci_set_name_list_path(access_, idsFile_->data(), 0);
    }
    if (!access_) return std::nullopt;
    char buf[512];
    const char* found = pci_lookup_name(access_, buf, sizeof buf, flags | PCI_LOOKUP_NO_NUMBERS,
                                        static_cast<int>(vendor), static_cast<int>(device));
    if (!found) return std::nullopt;
    std::string text = cleanText(found);
    if (text.empty()) return std::nullopt;
    return text;
}

std::string PciNames::name(unsigned vendor, unsigned device) {
    std::lock_guard lock(mutex_);
    if (auto full = lookup(PCI_LOOKUP_VENDOR | PCI_LOOKUP_DEVICE, vendor, device)) return *full;
    if (auto vendorName = lookup(PCI_LOOKUP_VENDOR, vendor, 0)) {
        char buf[16];
        std::snprintf(buf, sizeof buf, " Device %04x", device & 0xFFFFu);
        return *vendorName + buf;
    }
    return hexIds(vendor, device);
}

}  // namespace platform::instr
