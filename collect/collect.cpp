#include "collect/collect.h"

#include <istream>
#include <chrono>
#include <optional>
#include <thread>
#include <ostream>
#include <variant>

#include "collect/options.h"
#include "collect/texts.h"
#include "platform/common/text.h"
#include "session/session.h"

namespace collect {

namespace {

// Messages become lines on standard error; there is no window to close meanwhile.
class StreamPrompter : public session::Prompter {
public:
    explicit StreamPrompter(std::ostream& err) : err_(err) {}
    void Tell(const std::string& text) override { err_ << text << '\n'; }
    bool CloseRequestedMeanwhile() override { return false; }
    bool WaitWhileBusy(std::chrono::milliseconds delay) override {
        err_ << session::BusyText(delay) << '\n';
        err_.flush();
        return session::Prompter::WaitWhileBusy(delay);
    }

private:
    std::ostream& err_;
};

// Progress lines on standard error, each text once (the wizard's label shows a repeated text
// without a change); the final text is kept for the caller.
class StreamSink : public inventory::ProgressSink {
public:
    StreamSink(std::ostream& err, bool quiet) : err_(err), quiet_(quiet) {}
    void SetFrozen(bool) override {}
    void Yield() override {}
    void SetProgressText(const std::string& text) override {
        if (quiet_ || text == last_) return;
        last_ = text;
        err_ << text << '\n';
        err_.flush();
    }
    void SetFinalText(const std::string&) override {}
    void InstrumentationUnavailable(const std::string& title, const std::string& text) override {
        err_ << title << ": " << text << '\n';
    }

private:
    std::ostream& err_;
    bool quiet_;
    std::string last_;
};

// One line; a final line without its newline counts, an empty input does not.
std::optional<std::string> ReadPassword(std::istream& in) {
    std::string line;
    if (!std::getline(in, line) && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Prints the requests the run would send, in their order; nothing is sent.
int DryRun(const Options& options, Services services, Streams streams) {
    session::Session run(services);
    session::State& values = run.Values();
    values.IsSubscriber = options.isSubscriber;
    values.UserName = options.userName;
    values.UserPassword = kHiddenPassword;  // never read, never printed
    auto print = [&](const service::Request& request) {
        streams.out << RequestJson(request.page, request.query) << '\n';
    };
    const session::BuildVersion version;
    print(service::VersionRequest(version.major, version.minor, version.revision));
    if (values.IsSubscriber) {
        print(service::AccountRequest(values.UserName, values.UserPassword));
    } else {
        run.NewEvaluationId();
        print(service::RegistrationRequest(values.EvalID));
        values.EvalRegistered = true;
    }
    StreamSink sink(streams.err, options.quiet);
    const inventory::RunResult result = run.Run(sink, print);
    streams.out.flush();
    return result.instrumentationUnavailable ? kNotComplete : kComplete;
}

// The password of a subscriber, read with the terminal's echo off; nothing on a bad input.
std::optional<std::string> PasswordOf(const Options& options, Streams& streams) {
    if (!options.isSubscriber) return std::string();
    if (streams.echo) streams.echo(false);
    const auto password = ReadPassword(streams.in);
    if (streams.echo) streams.echo(true);
    if (!password) streams.err << kProgramName << ": " << kNoPassword << '\n';
    return password;
}

// The session as the wizard makes it, until the run; 0 to go on, otherwise the exit status.
int SignIn(session::Session& run, StreamPrompter& prompter) {
    if (run.CheckVersion(prompter) == session::VersionOutcome::Refused) return kRefused;
    if (!run.ConnectivityTest(prompter)) return kNotComplete;
    if (!run.Values().IsSubscriber) {
        run.RegisterEvaluation(prompter);
        return kComplete;
    }
    switch (run.CheckAccount(prompter)) {
        case session::AccountOutcome::Accepted: return kComplete;
        case session::AccountOutcome::Refused: return kRefused;
        default: return kNotComplete;
    }
}

int Collect(const Options& options, Services services, Streams streams) {
    session::Session run(services);
    session::State& values = run.Values();
    if (options.server) values.ServerPath = *options.server;
    else run.ReadSettings();
    if (values.ServerPath.empty()) {
        streams.err << kProgramName << ": " << kNoServer << '\n';
        return kBadUsage;
    }
    values.IsSubscriber = options.isSubscriber;
    values.UserName = options.userName;
    const auto password = PasswordOf(options, streams);
    if (!password) return kBadUsage;
    values.UserPassword = *password;

    // Unattended, it can afford more patience with a busy service than a user at the wizard.
    run.SetBusyRetry(service::BusyRetry{options.busyWait, std::chrono::seconds(60)});
    StreamPrompter prompter(streams.err);
    if (const int status = SignIn(run, prompter); status != kComplete) return status;
    StreamSink sink(streams.err, options.quiet);
    inventory::RunResult result = run.Run(sink);
    if (!result.complete && !result.instrumentationUnavailable && run.BusyFailures() > 0) {
        // A fleet's busy hour passes: once more, later, rather than leave the profile half done.
        streams.err << kRunAgainLead << options.busyWait.count() << kRunAgainTail << '\n';
        streams.err.flush();
        std::this_thread::sleep_for(options.busyWait);
        result = run.Run(sink);
    }
    if (result.instrumentationUnavailable) return kNotComplete;
    streams.out << result.finalText << '\n';
    streams.out.flush();
    return result.complete ? kComplete : kNotComplete;
}

}  // namespace

std::string RequestJson(const std::string& page, const std::vector<std::pair<std::string, std::string>>& query) {
    std::string line = "{\"page\":" + text::JsonString(page);
    for (const auto& [key, value] : query) line += "," + text::JsonString(key) + ":" + text::JsonString(value);
    return line + "}";
}

int Main(const std::vector<std::string>& args, Services services, Streams streams) {
    const auto parsed = ParseOptions(args);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        streams.err << kProgramName << ": " << error->message << "\n\n" << kUsage;
        return kBadUsage;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        streams.out << kUsage;
        return kComplete;
    }
    if (options.dryRun) return DryRun(options, services, streams);
    return Collect(options, services, streams);
}

}  // namespace collect
