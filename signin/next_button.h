#pragma once
// The Next button's work: the step being left decides it. Leaving the welcome page tests that the
// machine has a network address; leaving the sign-in page checks the account or registers an
// evaluation identity; every other step just moves on.
#include "platform/platform.h"
#include "service/service.h"
#include "signin/values.h"
#include "wizard/cwizard.h"

namespace signin {

class NextButton {
public:
    NextButton(platform::Platform& platform, AccountValues values, const service::ServiceClient& client)
        : platform_(&platform), values_(values), client_(&client) {}

    // cmdStepFwd_Click. Every call is guarded: a failing call abandons its step, a failing
    // condition counts as true; only the program's end passes through.
    void operator()(wizard::CWizard& wizard) const { cmdStepFwd_Click(wizard); }
    void cmdStepFwd_Click(wizard::CWizard& wizard) const;

private:
    void ConnectivityTest() const;  // ends the program when there is no network address
    void AccountCheck(wizard::CWizard& wizard) const;
    void EvaluationPath(wizard::CWizard& wizard) const;
    void StepForward(wizard::CWizard& wizard) const;
    bool CancelledMeanwhile(wizard::CWizard& wizard) const;
    void Tell(const std::string& text) const;

    platform::Platform* platform_;
    AccountValues values_;
    const service::ServiceClient* client_;
};

}  // namespace signin
