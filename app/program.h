#pragma once
// Program start: the settings, the version check, and the controller that opens the wizard.
#include <memory>

#include "app/shared_state.h"
#include "service/service.h"
#include "wizard/cwizardcontroller.h"

namespace platform { struct Platform; }

namespace app {

// The build's own version numbers (the version resource reads 1.1.0.11).
struct BuildVersion {
    int major = VANTREL_VERSION_MAJOR;
    int minor = VANTREL_VERSION_MINOR;
    int revision = VANTREL_VERSION_REVISION;
};

class Program {
public:
    explicit Program(platform::Platform& platform);
    ~Program();

    // Program start. Afterwards the wizard is open, or, when the service refused this version,
    // there is no controller and the program ends.
    void Start(BuildVersion version = {});

    SharedState& State() { return state_; }
    const service::ServiceClient& Client() const { return client_; }
    wizard::CWizardController* Controller() const { return controller_.get(); }

private:
    void ReadSettings();
    wizard::WizardParts Parts();

    platform::Platform& platform_;
    SharedState state_;
    service::ServiceClient client_;
    std::unique_ptr<wizard::CWizardController> controller_;
};

}  // namespace app
