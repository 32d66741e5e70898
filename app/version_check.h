#pragma once
// Asks the data service, before any window exists, whether this build may still be used.
#include "platform/ui/ui.h"
#include "service/service.h"

namespace app {

// Run: the service lists the version. Refused: it does not (the user has been told where to
// get the current one). Failed: no readable answer, which lets the program run.
enum class VersionOutcome { Run, Refused, Failed };

VersionOutcome CheckVersion(const service::ServiceClient& client, platform::Ui& ui, int major, int minor,
                            int revision);

}  // namespace app
