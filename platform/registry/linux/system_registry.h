#pragma once
// The machine's registry on Linux: a hive file with the uninstall list mounted over the
// package databases of a system root.
#include <iostream>
#include <string>

#include "platform/registry/linux/package_view.h"
#include "platform/registry/hive.h"
#include "platform/registry/key.h"

namespace platform {

inline constexpr const char* kDefaultHivePath = "/etc/vantrel/registry.reg";

// The hive of a file on disk. A missing file is an empty hive; a file that cannot be read or
// parsed is reported on `diagnostics` (file and line) and is an empty hive as well, so the
// program still starts and reads its settings as missing.
std::unique_ptr<RegistryKey> loadRegFile(const std::string& path, std::ostream& diagnostics);

class SystemRegistry : public RegistryHive {
public:
    // A hive file that cannot be parsed is reported on `diagnostics` and read as empty.
    SystemRegistry(const std::string& hivePath, const std::string& systemRoot,
                   std::ostream& diagnostics = std::cerr);
    SystemRegistry(const std::string& hivePath, PackageSources sources,
                   std::ostream& diagnostics = std::cerr);
};

}  // namespace platform
