#pragma once
// The collection run inside the wizard's step 3: its progress goes to the progress page's
// "Label2", the wizard is frozen meanwhile, and a close confirmed during a yield stops it.
#include "inventory/collection_run.h"
#include "platform/platform.h"
#include "service/service.h"

namespace wizard {
class CWizard;
class IWizardController;
}  // namespace wizard

namespace app {

class WizardRun {
public:
    WizardRun(platform::Platform& platform, wizard::IWizardController* const& controller,
              inventory::RunValues values, const service::ServiceClient& client)
        : platform_(platform), controller_(controller), values_(values), client_(client) {}

    // Runs inside the wizard's step 3. Returns early, sending nothing more, when a close of the
    // window was confirmed during one of its yields. Ends the program when the instrumentation
    // cannot be connected.
    void operator()(wizard::CWizard& wizard) const;

private:
    platform::Platform& platform_;
    wizard::IWizardController* const& controller_;  // the shared value Controller
    inventory::RunValues values_;
    const service::ServiceClient& client_;
};

}  // namespace app
