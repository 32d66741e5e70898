#include "session/version_check.h"

#include <cstdint>
#include <exception>
#include <string>

#include "session/texts.h"

namespace session {

VersionOutcome CheckVersion(const service::ServiceClient& client, Prompter& prompter, int major, int minor,
                            int revision) {
    std::int32_t count = 0;
    try {
        // Its failure is harmless, so it must not keep the window waiting for long.
        count = client.BriefServiceRequest(service::VersionRequest(major, minor, revision)).RecordCount();
    } catch (const std::exception&) {
        return VersionOutcome::Failed;  // an unreachable service must not keep anyone from working
    }
    if (count >= 1) return VersionOutcome::Run;

    prompter.Tell(service::AroundSiteAddress(kOutdatedVersionLead, kDownloadPagePath, kOutdatedVersionTail));
    return VersionOutcome::Refused;
}

}  // namespace session
