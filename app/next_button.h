#pragma once
// The wizard's Next button over the collection session: the step being left decides. Leaving the
// welcome page tests that the machine has a network address; leaving the sign-in page checks the
// account or registers an evaluation identity; every other step just moves on.
#include <chrono>

#include "platform/ui/ui.h"
#include "session/session.h"
#include "wizard/cwizard.h"

namespace app {

class NextButton {
public:
    NextButton(session::Session& session, platform::Ui& ui) : session_(&session), ui_(&ui) {}

    // cmdStepFwd_Click. Every call is guarded: a failing call abandons its step, a failing
    // condition counts as true; only the program's end passes through.
    void operator()(wizard::CWizard& wizard) const { cmdStepFwd_Click(wizard); }
    void cmdStepFwd_Click(wizard::CWizard& wizard) const;

private:
    bool SignIn(wizard::CWizard& wizard) const;  // false: stay on the sign-in page
    void StepForward(wizard::CWizard& wizard) const;

    session::Session* session_;
    platform::Ui* ui_;
};

// Message boxes over the platform; a close of the wizard confirmed while a request blocked is
// answered and reported.
class WizardPrompter : public session::UiPrompter {
public:
    WizardPrompter(platform::Ui& ui, wizard::CWizard& wizard) : UiPrompter(ui), wizard_(wizard) {}
    bool CloseRequestedMeanwhile() override;
    // The window's title says the service is busy; the window stays live; a confirmed close stops.
    bool WaitWhileBusy(std::chrono::milliseconds delay) override;

private:
    wizard::CWizard& wizard_;
};

}  // namespace app
