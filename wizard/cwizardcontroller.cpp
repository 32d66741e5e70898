#include "wizard/cwizardcontroller.h"

#include "platform/platform.h"

namespace wizard {

CWizardController::CWizardController(platform::Platform& platform, const WizardParts& parts)
    : platform_(platform), wizard_(std::make_unique<CWizard>(platform)) {
    wizard_->SetClientHandle(this);
    wizard_->SetAuditRoutine(parts.RunAudit);
    wizard_->SetNextHandler(parts.NextHandler);
    wizard_->AddPage(parts.Page1(), std::string("One"));
    wizard_->AddPage(parts.Page2(), std::string("Two"));
    wizard_->AddPage(parts.Page4(), std::string("Four"));
    wizard_->AddPage(parts.Page5(), std::string("Five"));
    wizard_->Start();
}

CWizardController::~CWizardController() = default;

void CWizardController::OnCancel(bool& Cancel) {
    if (wizard_->CurrentStep() == wizard_->StepCount()) return;  // "Finish" on the last page: no question
    platform::MessageBox box;
    box.text = kCancelQuestion;
    box.title = kCancelTitle;
    box.buttons = platform::Buttons::YesNo;
    box.icon = platform::Icon::Question;
    box.defaultButton = platform::Answer::Yes;
    Cancel = platform_.ui.Show(box) != platform::Answer::Yes;
}

}  // namespace wizard
