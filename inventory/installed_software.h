#pragma once
// The installed-software step: the machine-wide uninstall list, one upload per program.
#include <string>

#include "platform/registry/registry.h"
#include "service/service.h"

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

// What the run's steps share: requests, yields and the progress line.
class RunSteps {
public:
    virtual ~RunSteps() = default;
    // Sends one request; the reply is not read. Throws on failure.
    virtual void Send(const service::Request& request) = 0;
    // Lets pending window messages run. Unwinds past every guard when the run has to stop.
    virtual void Yield() = 0;
    // Sets the progress text; skipped when the page shows no progress line.
    virtual void SetProgressText(const std::string& text) = 0;
};

// One request per program of the uninstall list, in the registry's index order, each index
// followed by a yield and the progress text. Every failure stays inside its own sub-step.
void UploadInstalledSoftware(platform::Registry& registry, const service::Identity& who, RunSteps& steps);

}  // namespace inventory
