#pragma once
// Asks the data service, before anything else, whether this build may still be used.
#include "client/service.h"
#include "session/prompter.h"

namespace session {

// Run: the service lists the version. Refused: it does not (the user has been told where to
// get the current one). Failed: no readable answer, which lets the program run.
enum class VersionOutcome { Run, Refused, Failed };

VersionOutcome CheckVersion(const service::ServiceClient& client, Prompter& prompter, int major, int minor,
                            int revision);

}  // namespace session
