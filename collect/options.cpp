#include "collect/options.h"

#include "platform/common/text.h"

namespace collect {

std::variant<Options, UsageError> ParseOptions(const std::vector<std::string>& args) {
    Options options;
    bool user = false, evaluating = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        auto flag = [&] { return !inlineValue; };

        if (arg == "--user") {
            const auto name = value();
            if (!name || name->empty()) return UsageError{"--user needs a username"};
            if (user) return UsageError{"--user given twice"};
            user = true;
            options.userName = *name;
        } else if (arg == "--server") {
            const auto url = value();
            if (!url || url->empty()) return UsageError{"--server needs an address"};
            options.server = AsServerPath(*url);
        } else if (arg == "--busy-wait") {
            const auto text = value();
            const auto seconds = text ? text::ParseWhole<int>(*text) : std::nullopt;
            if (!seconds || *seconds > 86400) return UsageError{"--busy-wait needs a number of seconds"};
            options.busyWait = std::chrono::seconds(*seconds);
        } else if (arg == "--evaluating" && flag()) {
            evaluating = true;
        } else if (arg == "--quiet" && flag()) {
            options.quiet = true;
        } else if (arg == "--dry-run" && flag()) {
            options.dryRun = true;
        } else if ((arg == "--help" || arg == "-h") && flag()) {
            options.help = true;
        } else if (arg == "--password") {
            // A password on the command line is visible to every user of the machine.
            return UsageError{"the password is read from standard input, never from the command line"};
        } else {
            return UsageError{"unknown argument: " + args[i]};
        }
    }
    if (options.help) return options;
    if (user && evaluating) return UsageError{"--user and --evaluating exclude each other"};
    if (!user && !evaluating) return UsageError{"give --user NAME or --evaluating"};
    options.isSubscriber = user;
    return options;
}

std::string AsServerPath(const std::string& url) {
    if (!url.empty() && url.back() == '/') return url;
    return url + "/";
}

}  // namespace collect
