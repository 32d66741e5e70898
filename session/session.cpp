// Every step is guarded call by call as the Next button has always done it: a failing call
// abandons its step, a failing condition counts as true; only the program's end passes through.
#include "session/session.h"

#include <chrono>
#include <exception>
#include <optional>
#include <string>

#include "platform/common/guard.h"
#include "session/settings.h"
#include "session/texts.h"
#include "signin/guid_string.h"

namespace session {

using platform::guarded;
using platform::guardedCondition;

namespace {

void TellGuarded(Prompter& prompter, const std::string& text) {
    guarded([&] { prompter.Tell(text); });
}

// A wait inside the run: the progress text says why, and the window stays live.
bool WaitInRun(inventory::ProgressSink& sink, std::chrono::milliseconds delay) {
    guarded([&] { sink.SetProgressText(BusyText(delay)); });
    sink.Wait(delay);  // a close confirmed meanwhile ends the run here
    return true;
}

}  // namespace

void Session::ReadSettings() {
    state_.FilePath = ReadSetting(services_.registry, kFilePathValue);
    state_.ServerPath = ReadSetting(services_.registry, kServerPathValue);
}

VersionOutcome Session::CheckVersion(Prompter& prompter, BuildVersion version) const {
    try {
        return session::CheckVersion(client_, prompter, version.major, version.minor, version.revision);
    } catch (const std::exception&) {
        return VersionOutcome::Failed;  // a check that cannot be made lets the program run
    }
}

bool Session::ConnectivityTest(Prompter& prompter) {
    platform::Network& network = services_.network;
    guarded([&] { network.Close(); });
    guarded([&] { network.Refresh(); });
    const bool notConnected = guardedCondition([&] {
        const std::string address = network.LocalIP();
        return address.empty() || address == kLoopbackAddress;
    });
    if (!notConnected) return true;
    TellGuarded(prompter, kNotConnected);
    return false;
}

AccountOutcome Session::CheckAccount(Prompter& prompter) {
    std::optional<service::ServiceReply> reply;
    const auto wait = [&prompter](std::chrono::milliseconds delay) { return prompter.WaitWhileBusy(delay); };
    guarded([&] {
        reply = service::RequestPatiently(client_, service::AccountRequest(state_.UserName, state_.UserPassword), busy_,
                                          wait);
    });
    // An Esc or a close pressed while the request blocked is answered before a message of ours.
    if (prompter.CloseRequestedMeanwhile()) return AccountOutcome::Closed;
    if (!reply) {
        // No answer is not an accepted account.
        TellGuarded(prompter, service::AroundSiteAddress(kAccountCheckFailedLead, kAccountCheckFailedTail));
        return AccountOutcome::Unreachable;
    }
    if (reply->RecordCount() != 1) {
        TellGuarded(prompter, service::AroundSiteAddress(kInvalidLoginLead, kInvalidLoginTail));
        return AccountOutcome::Refused;
    }
    // A field that is missing or is no date leaves that date as it was.
    guarded([&] { state_.ProfileCrDate = service::FieldToDate(reply->Field(1)); });
    guarded([&] { state_.ProfileLuDate = service::FieldToDate(reply->Field(2)); });
    return AccountOutcome::Accepted;
}

void Session::NewEvaluationId() {
    guarded([&] { state_.EvalID = signin::CreateGuidString(services_.guids); });
    guarded([&] { state_.EvalID = signin::EvaluationId(state_.EvalID); });
}

bool Session::RegisterEvaluation(Prompter& prompter) {
    NewEvaluationId();
    // The reply is not read, but whether it came decides what the end of the run may promise.
    state_.EvalRegistered = false;
    const auto wait = [&prompter](std::chrono::milliseconds delay) { return prompter.WaitWhileBusy(delay); };
    state_.EvalRegistered =
        guarded([&] { service::RequestPatiently(client_, service::RegistrationRequest(state_.EvalID), busy_, wait); });
    return !prompter.CloseRequestedMeanwhile();
}

inventory::RunResult Session::Run(inventory::ProgressSink& sink) const {
    busyFailures_ = 0;
    return Run(sink, [this, &sink](const service::Request& request) {
        try {
            service::RequestPatiently(client_, request, busy_,
                                      [&sink](std::chrono::milliseconds delay) { return WaitInRun(sink, delay); });
        } catch (const platform::ServiceBusy&) {
            ++busyFailures_;
            throw;
        }
    });
}

std::string BusyText(std::chrono::milliseconds delay) {
    const auto seconds = (delay.count() + 999) / 1000;
    return kServiceBusyLead + std::to_string(seconds) + kServiceBusyTail;
}

inventory::RunResult Session::Run(inventory::ProgressSink& sink, inventory::SendRequest send) const {
    const inventory::CollectionRun run(services_.registry, services_.instrumentation, state_.RunValues(),
                                       std::move(send));
    return run(sink);
}

}  // namespace session
