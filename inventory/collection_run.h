#pragma once
// The collection run: reset the profile on the service, then upload the installed programs and
// the seven hardware and system categories item by item, writing progress into "Label2".
#include "inventory/run_values.h"
#include "platform/platform.h"
#include "service/service.h"

namespace wizard { class CWizard; }

namespace inventory {

class CollectionRun {
public:
    CollectionRun(platform::Platform& platform, RunValues values, const service::ServiceClient& client)
        : platform_(platform), values_(values), client_(client) {}

    // Runs inside the wizard's step 3. Returns early, sending nothing more, when a close of the
    // window was confirmed during one of its yields. Ends the program when the instrumentation
    // cannot be connected.
    void operator()(wizard::CWizard& wizard) const;

private:
    platform::Platform& platform_;
    RunValues values_;
    const service::ServiceClient& client_;
};

}  // namespace inventory
