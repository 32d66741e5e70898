#pragma once
// The installed-software step: the machine-wide uninstall list, one upload per program.
#include <string>

#include "inventory/run_steps.h"
#include "platform/registry/registry.h"
#include "client/service.h"

namespace inventory {

struct UninstallEntry {
    std::string DisplayName;
    std::string DisplayVersion;
};

// The key's handle, or 0 when it does not open (read access).
platform::HKey OpenRegistryKey(platform::Registry& registry, platform::HKey root, const std::string& path);

// The value's bytes as text up to the first NUL, whatever its type; empty for key 0 or a value
// that cannot be read. Values of any length are read whole.
std::string ReadRegistryString(platform::Registry& registry, platform::HKey key, const std::string& valueName);

// The text before its first NUL; the whole text when it has none.
std::string TrimAtNull(const std::string& text);

// DisplayName and DisplayVersion of listPath\subkeyName below the machine root; both empty when
// the subkey does not open.
UninstallEntry ReadUninstallEntry(platform::Registry& registry, const std::string& listPath,
                                  const std::string& subkeyName);

// "Name", or "Name vVersion" when there is a version.
std::string BuildSoftwareText(const UninstallEntry& entry);

// One request per program of the uninstall list, in the registry's index order, each index
// followed by a yield and the progress text. Every failure stays inside its own sub-step.
void UploadInstalledSoftware(platform::Registry& registry, const service::Identity& who, RunSteps& steps);

}  // namespace inventory
