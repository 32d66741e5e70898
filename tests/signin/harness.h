#pragma once
// A real wizard with the real sign-in page and Next handler over the platform fakes.
#include <memory>
#include <string>

#include <QPushButton>

#include "app/next_button.h"
#include "client/service.h"
#include "session/session.h"
#include "signin/page2.h"
#include "tests/support/fakes.h"
#include "wizard/cwizardcontroller.h"

namespace signin_test {

class BlankPage : public wizard::CPageForm {
public:
    using CPageForm::CPageForm;

protected:
    void CreateControls(QWidget&) override {}
};

// A reply of the account check with `records` rows of (name, created, last updated).
inline platform::RecordSet AccountReply(int records, platform::FieldValue created = platform::Date{45000.25},
                                        platform::FieldValue lastUpdated = platform::Date{45123.0}) {
    std::vector<std::vector<platform::FieldValue>> rows;
    for (int i = 0; i < records; ++i) rows.push_back({std::string("alice"), created, lastUpdated});
    return platform::RecordSet({"UID", "crDate", "luDate"}, rows);
}

// The fakes stand in for every service but those given: a real record source and GUID source
// may take the place of theirs.
struct SignInWizard {
    fakes::TestPlatform tp;
    platform::Platform bundle;
    session::Session session;
    session::State& state = session.Values();
    const service::ServiceClient& client = session.Client();
    std::shared_ptr<signin::Page2> page2;
    int audits = 0;
    std::unique_ptr<wizard::CWizardController> controller;

    explicit SignInWizard(const std::string& serverPath = "http://service.test/vantrel/",
                          platform::RecordSource* records = nullptr, platform::GuidSource* guids = nullptr)
        : bundle{tp.registry,  tp.instrumentation, records ? *records : tp.records, tp.shell, guids ? *guids : tp.guids,
                 tp.network,   tp.ui,              tp.windows},
          session(session::Services{bundle.registry, bundle.instrumentation, bundle.records, bundle.guids,
                                    bundle.network}) {
        state.ServerPath = serverPath;
        wizard::WizardParts parts;
        parts.Page1 = [this] { return std::make_shared<BlankPage>(tp.windows); };
        parts.Page2 = [this] {
            page2 = std::make_shared<signin::Page2>(
                tp.windows, tp.shell, signin::SignInValues{state.IsSubscriber, state.UserName, state.UserPassword});
            return page2;
        };
        parts.Page4 = [this] { return std::make_shared<BlankPage>(tp.windows); };
        parts.Page5 = [this] { return std::make_shared<BlankPage>(tp.windows); };
        parts.RunAudit = [this](wizard::CWizard&) { ++audits; };
        parts.NextHandler = app::NextButton(session, tp.ui);
        controller = std::make_unique<wizard::CWizardController>(bundle, parts);
    }

    wizard::CWizard& wizard() { return controller->WizardHandle(); }
    // Next as the user presses it.
    void PressNext() { wizard().cmdStepFwd()->click(); }
    // Next through the handler itself, for presses that end the program.
    void CallNext() { wizard().cmdStepFwd_Click(); }
    void PressBack() { wizard().cmdStepBack()->click(); }

    void ToSignInPage() {
        PressNext();
        tp.network.calls.clear();
    }

    std::string Address(const service::Request& request) const {
        return service::BuildAddress(state.ServerPath, request);
    }
};

}  // namespace signin_test
