#pragma once
// The machine's registry on Linux: a hive file with the uninstall list mounted over the
// package databases of a system root.
#include <iostream>
#include <string>

#include "platform/linux/package_view.h"
#include "platform/linux/registry_hive.h"

namespace platform {

inline constexpr const char* kUninstallPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kDefaultHivePath = "/etc/vantrel/registry.reg";

class SystemRegistry : public RegistryHive {
public:
    // A hive file that cannot be parsed is reported on `diagnostics` and read as empty.
    SystemRegistry(const std::string& hivePath, const std::string& systemRoot,
                   std::ostream& diagnostics = std::cerr);
    SystemRegistry(const std::string& hivePath, PackageSources sources,
                   std::ostream& diagnostics = std::cerr);
};

}  // namespace platform
