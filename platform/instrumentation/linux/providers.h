#pragma once
// One provider per instrumentation class: the class's properties and a reader that lists its
// instances from a machine tree. Readers never throw for missing or unreadable files; an
// unknown value is a null.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/instrumentation/instrumentation.h"
#include "platform/instrumentation/linux/pci_names.h"
#include "platform/instrumentation/linux/sysfs_reader.h"

namespace platform::instr {

struct ProviderContext {
    const SysRoot& root;
    PciNames& pci;
};

// One instance: a value per property, in the order of the class's property list.
using Row = std::vector<PropertyValue>;

struct ClassProvider {
    std::string_view className;
    std::vector<std::string_view> properties;
    std::vector<Row> (*collect)(ProviderContext&);
};

// The provider of a class, found without regard to case; nullptr for an unknown class.
const ClassProvider* findProvider(std::string_view className);

std::vector<Row> collectSoundDevices(ProviderContext&);
std::vector<Row> collectVideoControllers(ProviderContext&);
std::vector<Row> collectPrinters(ProviderContext&);
std::vector<Row> collectComputerSystem(ProviderContext&);
std::vector<Row> collectBios(ProviderContext&);
std::vector<Row> collectOperatingSystem(ProviderContext&);
std::vector<Row> collectNetworkAdapters(ProviderContext&);

// --- Pieces the providers share ---

// The product name of the hardware behind a device folder ("/sys/devices/..."): the nearest
// USB device ("product", else its ids) or PCI function (pci.ids names) at or above it.
std::optional<std::string> hardwareName(ProviderContext& ctx, const std::string& devicePath);

// The name of a PCI function folder from its vendor and device files.
std::optional<std::string> pciFunctionName(ProviderContext& ctx, const std::string& devicePath);

// Firmware filler texts ("To Be Filled By O.E.M.", "Default string", empty...) mean unknown.
bool isFirmwarePlaceholder(std::string_view value);

// A value of an os-release file with its quoting undone, as a shell would read it.
std::string unquoteOsReleaseValue(std::string_view raw);

// The fields of an os-release file the operating system's name is made of, cleaned; a field
// that is missing or cleans to empty is nothing.
struct OsRelease {
    std::optional<std::string> prettyName, name, version;
};
OsRelease parseOsRelease(std::string_view text);

// The sound system's card list (/proc/asound/cards): one row per card, its long name, else its
// short name, else null. Lines like " 0 [PCH            ]: HDA-Intel - HDA Intel PCH"; the line
// below each (the card's address) begins with blanks and no number.
std::vector<Row> parseSoundCardList(std::string_view text);

struct PrinterEntry {
    std::string name;
    std::optional<std::string> makeAndModel;
};

// The print queues of a scheduler configuration file (printers.conf), sorted by name.
std::vector<PrinterEntry> parsePrintersConf(std::string_view text);

// The destinations of the running print service; none, quickly, when the service is down.
std::vector<PrinterEntry> livePrintDestinations();

}  // namespace platform::instr
