#include "app/wizard_run.h"

#include "inventory/progress_sink.h"
#include "pages/page4.h"
#include "platform/common/errors.h"
#include "platform/common/guard.h"
#include "wizard/contracts.h"
#include "wizard/cwizard.h"

namespace app {

namespace {

class WizardSink : public inventory::ProgressSink {
public:
    WizardSink(wizard::CWizard& wizard, wizard::IWizardController* controller, platform::Ui& ui)
        : wizard_(wizard), controller_(controller), ui_(ui) {}

    void SetFrozen(bool frozen) override {
        // Through the controller, as the run has always reached the wizard.
        if (!controller_) throw platform::PlatformError("no controller");
        controller_->WizardHandle().SetFrozen(frozen);
    }

    void Yield() override {
        ui_.DoEvents();
        // The window closes once the step has ended; nothing more may be sent or shown for it.
        if (wizard_.CloseRequested()) throw inventory::RunStopped{};
    }

    void SetProgressText(const std::string& text) override {
        // Looked up afresh each time: a yield may have replaced or destroyed the page.
        wizard_.SetPageLabelText(pages::kProgressLabel, text);
    }

    void SetFinalText(const std::string& text) override { SetProgressText(text); }

    void InstrumentationUnavailable(const std::string& title, const std::string& text) override {
        platform::MessageBox box;
        box.text = text;
        box.title = title;
        platform::guarded([&] { ui_.Show(box); });
        ui_.End();
    }

private:
    wizard::CWizard& wizard_;
    wizard::IWizardController* controller_;
    platform::Ui& ui_;
};

}  // namespace

void WizardRun::operator()(wizard::CWizard& wizard) const {
    WizardSink sink(wizard, controller_, platform_.ui);
    try {
        session_.Run(sink);
    } catch (const inventory::RunStopped&) {
        // The window is closing; it is not destroyed before the step ends, so leaving it frozen
        // is harmless.
    }
}

}  // namespace app
