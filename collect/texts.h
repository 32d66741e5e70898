#pragma once
// The unattended program's own texts. The run's, the sign-in's and program start's texts are
// the wizard's, taken from their subsystems.

namespace collect {

inline constexpr const char* kProgramName = "vantrel-collect";

inline constexpr const char* kUsage =
    "usage: vantrel-collect (--user NAME | --evaluating) [--server URL] [--busy-wait SECONDS] [--quiet]\n"
    "                       [--dry-run]\n"
    "\n"
    "Collects this computer's hardware and software inventory and uploads it to the VantrelNet\n"
    "profile, as the Vantrel Collector wizard does.\n"
    "\n"
    "  --user NAME    upload for the subscriber NAME; the password is read from standard input,\n"
    "                 one line\n"
    "  --evaluating   upload for a new evaluation username, which the final text names\n"
    "  --server URL   the data service's base address in place of the ServerPath setting\n"
    "  --busy-wait SECONDS\n"
    "                 how long one request waits out a busy service (default 600); a run that\n"
    "                 still failed for a busy service is made once more after that long\n"
    "  --quiet        no progress lines on standard error\n"
    "  --dry-run      send nothing: print each request that would be sent, one JSON object a line\n"
    "  --help         this text\n"
    "\n"
    "Exit status: 0 the collection is complete, 1 it is not, 2 bad usage, 3 the service refused\n"
    "this version or the account.\n";

inline constexpr const char* kRunAgainLead = "The VantrelNet service was busy: the collection runs once more in ";
inline constexpr const char* kRunAgainTail = " seconds.";

inline constexpr const char* kNoPassword = "no password on standard input (one line)";
inline constexpr const char* kNoServer =
    "no data service address: set ServerPath in the registry key Software\\Vantrel or give --server";

// The password's place in a request that --dry-run prints.
inline constexpr const char* kHiddenPassword = "********";

}  // namespace collect
