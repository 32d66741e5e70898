#pragma once
// The collection run: reset the profile on the service, then upload the installed programs and
// the seven hardware and system categories item by item, reporting progress to a sink.
#include <functional>

#include "inventory/progress_sink.h"
#include "inventory/run_values.h"
#include "platform/instrumentation/instrumentation.h"
#include "platform/registry/registry.h"
#include "client/service.h"

namespace inventory {

// Sends one request; the reply is not read. Throws on failure.
using SendRequest = std::function<void(const service::Request&)>;

// How a run ended. `sent` counts the requests tried, `failed` those that did not get through.
struct RunResult {
    bool instrumentationUnavailable = false;  // nothing was sent
    bool complete = false;                    // every request got through (and the evaluation
                                              // identity was registered)
    int sent = 0;
    int failed = 0;
    std::string finalText;
};

class CollectionRun {
public:
    CollectionRun(platform::Registry& registry, platform::Instrumentation& instrumentation, RunValues values,
                  SendRequest send)
        : registry_(registry), instrumentation_(instrumentation), values_(std::move(values)), send_(std::move(send)) {}

    // The whole run, its progress reported to `sink`. A RunStopped thrown by the sink ends it
    // early and passes through to the caller.
    RunResult operator()(ProgressSink& sink) const;

private:
    platform::Registry& registry_;
    platform::Instrumentation& instrumentation_;
    RunValues values_;
    SendRequest send_;
};

// The final text: the run's own when the service took everything, otherwise what did not get
// through and what to do about it.
std::string FinalText(const service::Identity& who, bool registered, int sent, int failed);

}  // namespace inventory
