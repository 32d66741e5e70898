#pragma once
// The collection run inside the wizard's step 3: its progress goes to the progress page's
// "Label2", the wizard is frozen meanwhile, and a close confirmed during a yield stops it.
#include "platform/platform.h"
#include "session/session.h"

namespace wizard {
class CWizard;
class IWizardController;
}  // namespace wizard

namespace app {

class WizardRun {
public:
    WizardRun(platform::Platform& platform, wizard::IWizardController* const& controller,
              const session::Session& session)
        : platform_(platform), controller_(controller), session_(session) {}

    // Runs inside the wizard's step 3. Returns early, sending nothing more, when a close of the
    // window was confirmed during one of its yields. Ends the program when the instrumentation
    // cannot be connected.
    void operator()(wizard::CWizard& wizard) const;

private:
    platform::Platform& platform_;
    wizard::IWizardController* const& controller_;  // the controller, once program start made it
    const session::Session& session_;
};

}  // namespace app
