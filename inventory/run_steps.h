#pragma once
// The collection run's steps as its parts see them; the run implements it over its progress sink
// and its sender, counting what was sent.
#include <string>

#include "client/service.h"

namespace inventory {

// What the run's steps share: requests, yields and the progress line.
class RunSteps {
public:
    virtual ~RunSteps() = default;
    // Sends one request; the reply is not read. Throws on failure.
    virtual void Send(const service::Request& request) = 0;
    // Lets pending window messages run. Unwinds past every guard when the run has to stop.
    virtual void Yield() = 0;
    // Sets the progress text; skipped when the page shows no progress line.
    virtual void SetProgressText(const std::string& text) = 0;
};

}  // namespace inventory
