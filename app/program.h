#pragma once
// Program start: the session's settings and version check, then the controller that opens the wizard.
#include <memory>

#include "session/session.h"
#include "wizard/cwizardcontroller.h"

namespace platform { struct Platform; }

namespace app {

class Program {
public:
    explicit Program(platform::Platform& platform);
    ~Program();

    // Program start. Afterwards the wizard is open, or, when the service refused this version,
    // there is no controller and the program ends.
    void Start(session::BuildVersion version = {});

    session::State& State() { return session_.Values(); }
    const service::ServiceClient& Client() const { return session_.Client(); }
    wizard::CWizardController* Controller() const { return controller_.get(); }

private:
    wizard::WizardParts Parts();

    platform::Platform& platform_;
    session::Session session_;
    std::unique_ptr<wizard::CWizardController> controller_;
    wizard::IWizardController* controllerHandle_ = nullptr;  // what the run reaches the wizard through
};

}  // namespace app
