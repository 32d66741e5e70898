#pragma once
// The command line of vantrel-collect. The password never comes from it.
#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace collect {

struct Options {
    bool isSubscriber = true;
    std::string userName;
    std::optional<std::string> server;  // in place of the ServerPath setting
    std::chrono::seconds busyWait{600};  // one request's patience with a busy service
    bool quiet = false;
    bool dryRun = false;
    bool help = false;
};

// What is wrong with a command line, in one line.
struct UsageError {
    std::string message;
};

// Reads `--user NAME` or `--evaluating` (exactly one), `--server URL`, `--busy-wait SECONDS`, `--quiet`, `--dry-run`,
// `--help`; `--name=value` is accepted for the options with a value.
std::variant<Options, UsageError> ParseOptions(const std::vector<std::string>& args);

// The base address as ServerPath holds it: with a trailing "/".
std::string AsServerPath(const std::string& url);

}  // namespace collect
