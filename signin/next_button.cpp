#include "signin/next_button.h"

#include <optional>
#include <string>

#include <QPushButton>

#include "platform/common/guard.h"
#include "signin/guid_string.h"
#include "signin/texts.h"

namespace signin {

using platform::guarded;
using platform::guardedCondition;

void NextButton::cmdStepFwd_Click(wizard::CWizard& wizard) const {
    const std::int16_t step = wizard.CurrentStep();
    if (step == 1) {
        ConnectivityTest();
    } else if (step == 2) {
        // The selection at this moment decides; the page keeps IsSubscriber current.
        if (values_.IsSubscriber)
            AccountCheck(wizard);
        else
            EvaluationPath(wizard);
        return;
    }
    StepForward(wizard);
}

void NextButton::ConnectivityTest() const {
    platform::Network& network = platform_->network;
    guarded([&] { network.Close(); });
    guarded([&] { network.Refresh(); });
    const bool notConnected = guardedCondition([&] {
        const std::string address = network.LocalIP();
        return address.empty() || address == texts::kLoopbackAddress;
    });
    if (!notConnected) return;
    Tell(texts::kNotConnected);
    platform_->ui.End();
}

void NextButton::AccountCheck(wizard::CWizard& wizard) const {
    std::optional<service::ServiceReply> reply;
    guarded([&] { reply = client_->ServiceRequest(service::AccountRequest(values_.UserName, values_.UserPassword)); });
    if (CancelledMeanwhile(wizard)) return;
    if (!reply) {
        // No answer is not an accepted account: say so and stay, so that Next can try again.
        Tell(service::AroundSiteAddress(texts::kAccountCheckFailedLead, texts::kAccountCheckFailedTail));
        return;
    }
    if (reply->RecordCount() != 1) {
        Tell(service::AroundSiteAddress(texts::kInvalidLoginLead, texts::kInvalidLoginTail));
        return;
    }
    // A field that is missing or is no date leaves that date as it was.
    guarded([&] { values_.ProfileCrDate = service::FieldToDate(reply->Field(1)); });
    guarded([&] { values_.ProfileLuDate = service::FieldToDate(reply->Field(2)); });
    StepForward(wizard);
}

void NextButton::EvaluationPath(wizard::CWizard& wizard) const {
    guarded([&] { values_.EvalID = CreateGuidString(platform_->guids); });
    guarded([&] { values_.EvalID = EvaluationId(values_.EvalID); });
    // The reply is not read, but whether it came decides what the end of the run may promise.
    values_.EvalRegistered = false;
    values_.EvalRegistered =
        guarded([&] { client_->ServiceRequest(service::RegistrationRequest(values_.EvalID)); });
    if (CancelledMeanwhile(wizard)) return;
    StepForward(wizard);
}

bool NextButton::CancelledMeanwhile(wizard::CWizard& wizard) const {
    // An Esc or a close pressed while the request blocked is waiting in the queue: answer it now,
    // before a message box of ours could swallow it. A confirmed close ends the work here; the
    // window closes when the Next button's work returns.
    guarded([&] { platform_->ui.DoEvents(); });
    return wizard.CloseRequested();
}

void NextButton::StepForward(wizard::CWizard& wizard) const {
    guarded([&] { wizard.SetFocusReturnHandle(wizard.cmdStepFwd()); });
    guarded([&] { wizard.Step(1); });
}

void NextButton::Tell(const std::string& text) const {
    platform::MessageBox box;  // OK only, no icon, the application's title
    box.text = text;
    guarded([&] { platform_->ui.Show(box); });
}

}  // namespace signin
