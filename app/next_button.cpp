#include "app/next_button.h"

#include <QPushButton>

#include <thread>

#include "platform/common/guard.h"

namespace app {

using platform::guarded;

void NextButton::cmdStepFwd_Click(wizard::CWizard& wizard) const {
    const std::int16_t step = wizard.CurrentStep();
    if (step == 1) {
        WizardPrompter prompter(*ui_, wizard);
        if (!session_->ConnectivityTest(prompter)) ui_->End();
    } else if (step == 2 && !SignIn(wizard)) {
        return;
    }
    StepForward(wizard);
}

bool NextButton::SignIn(wizard::CWizard& wizard) const {
    WizardPrompter prompter(*ui_, wizard);
    // The selection at this moment decides; the page keeps IsSubscriber current.
    if (session_->Values().IsSubscriber) return session_->CheckAccount(prompter) == session::AccountOutcome::Accepted;
    return session_->RegisterEvaluation(prompter);
}

void NextButton::StepForward(wizard::CWizard& wizard) const {
    guarded([&] { wizard.SetFocusReturnHandle(wizard.cmdStepFwd()); });
    guarded([&] { wizard.Step(1); });
}

bool WizardPrompter::CloseRequestedMeanwhile() {
    // An Esc or a close pressed while the request blocked is waiting in the queue: answer it now,
    // before a message box of ours could swallow it. A confirmed close ends the work here; the
    // window closes when the Next button's work returns.
    guarded([&] { ui_.DoEvents(); });
    return wizard_.CloseRequested();
}

bool WizardPrompter::WaitWhileBusy(std::chrono::milliseconds delay) {
    const QString title = wizard_.windowTitle();
    wizard_.setWindowTitle(QString::fromStdString(session::BusyText(delay)));
    const auto until = std::chrono::steady_clock::now() + delay;
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        closed = CloseRequestedMeanwhile();
    }
    wizard_.setWindowTitle(title);
    return !closed;
}

}  // namespace app
