#include "app/program.h"

#include "app/next_button.h"
#include "app/wizard_run.h"
#include "pages/page1.h"
#include "pages/page4.h"
#include "pages/page5.h"
#include "platform/platform.h"
#include "signin/page2.h"

namespace app {

namespace {

session::Services SessionServices(platform::Platform& p) {
    return {p.registry, p.instrumentation, p.records, p.guids, p.network};
}

}  // namespace

Program::Program(platform::Platform& platform) : platform_(platform), session_(SessionServices(platform)) {}

Program::~Program() = default;

wizard::WizardParts Program::Parts() {
    platform::Platform& p = platform_;
    session::State& state = session_.Values();
    wizard::WizardParts parts;
    parts.Page1 = [&p] { return std::make_shared<pages::Page1>(p.windows); };
    parts.Page2 = [&p, &state] {
        return std::make_shared<signin::Page2>(p.windows, p.shell,
                                               signin::SignInValues{state.IsSubscriber, state.UserName,
                                                                    state.UserPassword});
    };
    parts.Page4 = [&p] { return std::make_shared<pages::Page4>(p.windows); };
    parts.Page5 = [&p, &state] { return std::make_shared<pages::Page5>(p.windows, p.shell, state.ServerPath); };
    parts.NextHandler = NextButton(session_, p.ui);
    parts.RunAudit = WizardRun(p, controllerHandle_, session_);
    return parts;
}

void Program::Start(session::BuildVersion version) {
    session_.ReadSettings();
    session::UiPrompter prompter(platform_.ui);
    if (session_.CheckVersion(prompter, version) == session::VersionOutcome::Refused) return;

    controller_ = std::make_unique<wizard::CWizardController>(platform_, Parts());
    controllerHandle_ = controller_.get();
}

}  // namespace app
