#pragma once
// A wizard with four plain pages (the third with a "Label2" progress line) whose step 3 runs the
// collection over the fake platform; records what each request saw.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QLabel>
#include <QPushButton>

#include "platform/common/date.h"
#include "app/wizard_run.h"
#include "session/session.h"
#include "client/service.h"
#include "tests/support/fakes.h"
#include "wizard/cwizard.h"
#include "wizard/cwizardcontroller.h"
#include "wizard/page_form.h"

namespace inventorytest {

// The ConfigDate text the BIOS upload carries today.
inline std::string Today() { return service::DateText(platform::today()); }

inline constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

class PlainPage : public wizard::CPageForm {
public:
    PlainPage(platform::WindowSystem& ws, bool withProgressLine) : CPageForm(ws), withProgressLine_(withProgressLine) {}
    std::function<void(QWidget&)> onUnload;

protected:
    void CreateControls(QWidget& form) override {
        if (!withProgressLine_) return;
        auto* label = new QLabel(&form);
        label->setObjectName("Label2");
    }
    void FormUnload() override {
        if (onUnload) onUnload(*Form());
    }

private:
    bool withProgressLine_;
};

// What one request saw: its address, the progress line and the frozen controls at that moment.
struct Sent {
    std::string address;
    std::string progress;
    bool backEnabled = false, nextEnabled = false, pageEnabled = false;
};

class RunHarness {
public:
    fakes::TestPlatform fake;
    std::unique_ptr<platform::Platform> bundle;  // outlives the wizard, which holds on to it
    std::unique_ptr<session::Session> run;
    session::State state;  // copied into the session when the run starts
    wizard::IWizardController* controllerHandle = nullptr;
    std::unique_ptr<wizard::CWizardController> controller;
    std::shared_ptr<PlainPage> progressPage;
    std::vector<Sent> sent;
    bool progressLine = true;
    // Real backends in place of the fake registry or instrumentation, when set before Build.
    platform::Registry* registry = nullptr;
    platform::Instrumentation* instrumentation = nullptr;

    RunHarness() {
        state.ServerPath = "http://127.0.0.1:8080/vantrel/";
        state.UserName = "alice";
        state.UserPassword = "pa ss&word";
        state.EvalID = "Eval0C3F9";
        state.EvalRegistered = true;
        state.ProfileCrDate = platform::Date{45000.0};
        state.ProfileLuDate = platform::Date{45100.5};
    }

    // Builds the wizard on step 1; the run happens when step 3 is reached.
    void Build() {
        const platform::Platform& f = fake.bundle;
        bundle = std::make_unique<platform::Platform>(platform::Platform{
            registry ? *registry : f.registry, instrumentation ? *instrumentation : f.instrumentation, f.records,
            f.shell, f.guids, f.network, f.ui, f.windows});
        run = std::make_unique<session::Session>(session::Services{
            bundle->registry, bundle->instrumentation, bundle->records, bundle->guids, bundle->network});
        wizard::WizardParts parts;
        auto plain = [this] { return std::make_shared<PlainPage>(fake.windows, false); };
        parts.Page1 = plain;
        parts.Page2 = plain;
        parts.Page4 = [this] {
            progressPage = std::make_shared<PlainPage>(fake.windows, progressLine);
            return progressPage;
        };
        parts.Page5 = plain;
        // The harness's values as they are when step 3 is reached.
        parts.RunAudit = [this](wizard::CWizard& w) {
            run->Values() = state;
            app::WizardRun(*bundle, controllerHandle, *run)(w);
        };
        controller = std::make_unique<wizard::CWizardController>(*bundle, parts);
        controllerHandle = controller.get();
        fake.records.fallback = [this](const std::string& address) {
            sent.push_back({address, Progress(), w().cmdStepBack()->isEnabled(), w().cmdStepFwd()->isEnabled(),
                            w().picPage()->isEnabled()});
            return platform::RecordSet{};
        };
    }

    void Run() {
        if (!controller) Build();
        w().StepTo(std::string("Four"));
    }

    wizard::CWizard& w() { return controller->WizardHandle(); }

    // The progress line as the user sees it now; "<none>" without one.
    std::string Progress() {
        QWidget* form = controller ? w().CurrentPageForm() : nullptr;
        auto* label = form ? form->findChild<QLabel*>("Label2") : nullptr;
        return label ? label->text().toStdString() : "<none>";
    }

    service::Identity Who() const {
        return {state.IsSubscriber, state.UserName, state.UserPassword, state.EvalID};
    }
    std::string Address(const service::Request& request) const {
        return service::BuildAddress(state.ServerPath, request);
    }
    std::string Upload(service::Upload page, std::vector<std::string> data) const {
        return Address(service::UploadRequest(page, Who(), data));
    }
    std::string Software(const std::string& text) const { return Upload(service::Upload::Software, {text}); }

    std::vector<std::string> Addresses() const {
        std::vector<std::string> out;
        for (const Sent& s : sent) out.push_back(s.address);
        return out;
    }
    // The requests sent to one page (with or without the "eval" twin prefix).
    std::vector<Sent> To(const std::string& page) const {
        std::vector<Sent> out;
        for (const Sent& s : sent)
            if (s.address.rfind(state.ServerPath + page + "?", 0) == 0) out.push_back(s);
        return out;
    }

    // Registry helpers for the uninstall list.
    void AddProgram(const std::string& subkey, std::optional<std::string> name, std::optional<std::string> version) {
        fake.registry.AddSubkey(kUninstall, subkey);
        const std::string path = std::string(kUninstall) + "\\" + subkey;
        if (name) fake.registry.SetString(path, "DisplayName", *name);
        if (version) fake.registry.SetString(path, "DisplayVersion", *version);
    }
    void AddInstance(const std::string& cls, fakes::Instrumentation::Props props) {
        fake.instrumentation.classes[cls].push_back(std::move(props));
    }
    // One instance of every category, as a small office machine reports them.
    void AddTypicalHardware() {
        AddInstance("win32_sounddevice", {{"Name", "HD Audio"}});
        AddInstance("win32_videocontroller", {{"Name", "VGA"}, {"DriverVersion", "1.0"}});
        AddInstance("win32_printer", {{"DriverName", "Generic PS"}});
        AddInstance("win32_computersystem", {{"Manufacturer", "Acme"}, {"Model", "Box 9"}});
        AddInstance("win32_bios", {{"SMBIOSBIOSVersion", "B1.2"}});
        AddInstance("win32_operatingsystem",
                    {{"Name", "Debian GNU/Linux 12|/usr|/dev/sda1"}, {"CSDVersion", "SP1"}});
        AddInstance("win32_networkadapter", {{"Name", "eth0"}});
    }
};

}  // namespace inventorytest
