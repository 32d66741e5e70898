#pragma once
// One collection session without a window, driven by the wizard and by vantrel-collect alike: the
// settings, the version check, the connectivity test, the account check or the evaluation
// identity, and the collection run with its final text. The session owns the run's values; its
// front end supplies a prompter for messages and a progress sink for the run.
#include "inventory/collection_run.h"
#include "inventory/progress_sink.h"
#include "platform/guid/guid.h"
#include "platform/instrumentation/instrumentation.h"
#include "platform/network/network.h"
#include "platform/recordset/recordset.h"
#include "platform/registry/registry.h"
#include "client/busy_retry.h"
#include "client/service.h"
#include "session/prompter.h"
#include "session/state.h"
#include "session/version_check.h"

namespace session {

// The operating-system services a session uses.
struct Services {
    platform::Registry& registry;
    platform::Instrumentation& instrumentation;
    platform::RecordSource& records;
    platform::GuidSource& guids;
    platform::Network& network;
};

// The build's own version numbers (the version resource reads 1.1.0.11).
struct BuildVersion {
    int major = VANTREL_VERSION_MAJOR;
    int minor = VANTREL_VERSION_MINOR;
    int revision = VANTREL_VERSION_REVISION;
};

enum class AccountOutcome {
    Accepted,     // one record: the dates are kept and the session goes on
    Refused,      // the user has been told that the username or password is not valid
    Unreachable,  // no answer: the user has been told, and may try again
    Closed,       // the user closed the program while the request blocked; nothing was told
};

class Session {
public:
    explicit Session(Services services) : services_(services), client_(services.records, state_.ServerPath) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // How long a request waits out a busy service before it counts as failed.
    void SetBusyRetry(service::BusyRetry policy) { busy_ = policy; }
    // Requests of the last run that failed because the service stayed busy.
    int BusyFailures() const { return busyFailures_; }

    State& Values() { return state_; }
    const State& Values() const { return state_; }
    const service::ServiceClient& Client() const { return client_; }

    // FilePath and ServerPath from the settings; a missing one is empty.
    void ReadSettings();
    // A check that cannot be made counts as Failed, which lets the program run.
    VersionOutcome CheckVersion(Prompter& prompter, BuildVersion version = {}) const;
    // Whether the machine has a network address; without one the user is told so (and the
    // front end then ends).
    bool ConnectivityTest(Prompter& prompter);
    AccountOutcome CheckAccount(Prompter& prompter);
    // A new evaluation identity, registered with the service. False when the user closed the
    // program meanwhile. Whether the service answered is kept in EvalRegistered.
    bool RegisterEvaluation(Prompter& prompter);
    // A new evaluation identity in EvalID, not yet registered.
    void NewEvaluationId();

    // The collection run over the session's values, its requests sent to the service, or to
    // `send` in its place (a dry run). A RunStopped thrown by the sink passes through.
    inventory::RunResult Run(inventory::ProgressSink& sink) const;
    inventory::RunResult Run(inventory::ProgressSink& sink, inventory::SendRequest send) const;

private:
    Services services_;
    State state_;
    service::ServiceClient client_;  // reads state_.ServerPath at each request
    service::BusyRetry busy_;
    mutable int busyFailures_ = 0;
};

// What the user reads while a request waits out a busy service.
std::string BusyText(std::chrono::milliseconds delay);

}  // namespace session
