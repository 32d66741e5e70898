#include "app/program.h"

#include <exception>

#include "app/settings.h"
#include "app/version_check.h"
#include "app/wizard_run.h"
#include "pages/page1.h"
#include "pages/page4.h"
#include "pages/page5.h"
#include "platform/platform.h"
#include "signin/next_button.h"
#include "signin/page2.h"

namespace app {

Program::Program(platform::Platform& platform) : platform_(platform), client_(platform.records, state_.ServerPath) {}

Program::~Program() = default;

void Program::ReadSettings() {
    platform::Registry& registry = platform_.registry;
    platform::HKey key = 0;

    // The open's result is not examined: with no key the reads below simply fail.
    registry.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, kSettingsKey, 0, platform::KEY_QUERY_VALUE, key);
    SettingValue filePath;
    ReadSettingValue(registry, key, "FilePath", filePath);
    state_.FilePath = ToText(filePath);
    registry.CloseKey(key);

    key = 0;
    registry.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, kSettingsKey, 0, platform::KEY_QUERY_VALUE, key);
    SettingValue serverPath;
    ReadSettingValue(registry, key, "ServerPath", serverPath);
    state_.ServerPath = ToText(serverPath);
    registry.CloseKey(key);
}

wizard::WizardParts Program::Parts() {
    platform::Platform& p = platform_;
    SharedState& state = state_;
    wizard::WizardParts parts;
    parts.Page1 = [&p] { return std::make_shared<pages::Page1>(p.windows); };
    parts.Page2 = [&p, &state] {
        return std::make_shared<signin::Page2>(p.windows, p.shell, SignInValuesOf(state));
    };
    parts.Page4 = [&p] { return std::make_shared<pages::Page4>(p.windows); };
    parts.Page5 = [&p, &state] { return std::make_shared<pages::Page5>(p.windows, p.shell, state.ServerPath); };
    parts.NextHandler = signin::NextButton(p, AccountValuesOf(state), client_);
    parts.RunAudit = WizardRun(p, state.Controller, RunValuesOf(state), client_);
    return parts;
}

void Program::Start(BuildVersion version) {
    ReadSettings();

    VersionOutcome outcome = VersionOutcome::Failed;
    try {
        outcome = CheckVersion(client_, platform_.ui, version.major, version.minor, version.revision);
    } catch (const std::exception&) {
        outcome = VersionOutcome::Failed;  // a check that cannot be made lets the program run
    }
    if (outcome == VersionOutcome::Refused) return;

    controller_ = std::make_unique<wizard::CWizardController>(platform_, Parts());
    state_.Controller = controller_.get();
}

}  // namespace app
