#pragma once
// The program's controller: creates the wizard, registers the four pages, starts it, and asks
// before a close that is not on the last page.
#include <functional>
#include <memory>

#include "wizard/contracts.h"
#include "wizard/cwizard.h"

namespace platform { struct Platform; }

namespace wizard {

// What the program plugs into the wizard: the four pages and the work behind Next and step 3.
struct WizardParts {
    std::function<std::shared_ptr<IWizardPage>()> Page1, Page2, Page4, Page5;
    std::function<void(CWizard&)> RunAudit;
    std::function<void(CWizard&)> NextHandler;
};

inline constexpr const char* kCancelQuestion = "Are you sure you want to cancel the wizard?";
inline constexpr const char* kCancelTitle = "Wizard";

class CWizardController : public IWizardController {
public:
    // Creates the wizard, attaches itself, registers the pages and starts the wizard.
    CWizardController(platform::Platform& platform, const WizardParts& parts);
    ~CWizardController() override;

    void BeforeUILoad() override {}
    void BeforeStep(std::int32_t, bool&) override {}
    void AfterStep() override {}
    void OnCancel(bool& Cancel) override;
    CWizard& WizardHandle() override { return *wizard_; }

private:
    platform::Platform& platform_;
    std::unique_ptr<CWizard> wizard_;
};

}  // namespace wizard
