// The collection run inside step 3: freeze, connect, reset the profile, upload the installed
// programs and the seven categories item by item, close the upload, unfreeze, final text.
// Every step and sub-step is guarded on its own; only a missing instrumentation stops the run.
#include "inventory/collection_run.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inventory/installed_software.h"
#include "inventory/texts.h"
#include "platform/common/date.h"
#include "platform/common/errors.h"
#include "platform/common/guard.h"
#include "wizard/contracts.h"
#include "wizard/cwizard.h"

namespace inventory {

using platform::guarded;

namespace {

// A close confirmed during a yield. Deliberately not a std::exception, so it passes every guard
// on its way out of the run.
struct RunStopped {};

class WizardRunSteps : public RunSteps {
public:
    WizardRunSteps(wizard::CWizard& wizard, platform::Ui& ui, const service::ServiceClient& client)
        : wizard_(wizard), ui_(ui), client_(client) {}

    void Send(const service::Request& request) override {
        ++sent_;
        try {
            client_.ServiceRequest(request);
        } catch (...) {
            ++failed_;
            throw;  // the guards around the request still see the failure
        }
    }

    void Yield() override {
        ui_.DoEvents();
        // The window closes once the step has ended; nothing more may be sent or shown for it.
        if (wizard_.CloseRequested()) throw RunStopped{};
    }

    void SetProgressText(const std::string& text) override {
        // Looked up afresh each time: a yield may have replaced or destroyed the page.
        wizard_.SetPageLabelText(kProgressLabel, text);
    }

    int Sent() const { return sent_; }
    int Failed() const { return failed_; }

private:
    int sent_ = 0;
    int failed_ = 0;
    wizard::CWizard& wizard_;
    platform::Ui& ui_;
    const service::ServiceClient& client_;
};

// Kept by the make-and-model category for the BIOS text.
struct SavedTexts {
    std::string model;
    std::string manufacturer;
};

std::string AsText(const platform::PropertyValue& value) { return value.value_or(std::string()); }

// The name before its first "|" (the system's paths follow it); a name without one is whole.
std::string OperatingSystemName(const std::string& name) {
    const auto bar = name.find('|');
    return bar == std::string::npos ? name : name.substr(0, bar);
}

// The data text of one instance: what the progress line shows and the request carries.
std::string DataText(Category category, const platform::Instance& instance, const SavedTexts& saved) {
    switch (category) {
        case Category::Sound:
        case Category::NetworkCard:
            return AsText(instance.Get("Name"));
        case Category::Video:
            return AsText(instance.Get("Name")) + " " + AsText(instance.Get("DriverVersion"));
        case Category::Printer:
            return AsText(instance.Get("DriverName"));
        case Category::MakeAndModel:
            return AsText(instance.Get("Manufacturer")) + " " + AsText(instance.Get("Model"));
        case Category::Bios:
            return saved.manufacturer + " " + saved.model + " " + AsText(instance.Get("SMBIOSBIOSVersion"));
        case Category::OperatingSystem:
            return OperatingSystemName(AsText(instance.Get("Name"))) + " " + AsText(instance.Get("CSDVersion"));
    }
    throw platform::PlatformError("unknown category");
}

void UploadCategory(platform::InstrumentationServices& services, const CategoryQuery& category,
                    const service::Identity& who, RunSteps& steps, SavedTexts& saved) {
    std::unique_ptr<platform::QueryResult> result;
    guarded([&] { result = services.ExecQuery(category.query); });
    if (!result) return;
    for (;;) {
        std::unique_ptr<platform::Instance> instance;
        guarded([&] { instance = result->Next(); });
        if (!instance) return;  // the end, or a failure moving on: either ends the category

        if (category.category == Category::MakeAndModel) {
            guarded([&] { saved.model = AsText(instance->Get("Model")); });
            guarded([&] { saved.manufacturer = AsText(instance->Get("Manufacturer")); });
        }
        steps.Yield();

        std::optional<std::string> data;
        guarded([&] { data = DataText(category.category, *instance, saved); });
        if (!data) continue;  // a property that cannot be read: neither text nor request
        guarded([&] { steps.SetProgressText(category.progress + *data); });
        guarded([&] {
            std::vector<std::string> values{*data};
            if (category.category == Category::Bios)
                values.insert(values.begin(), service::DateText(platform::today()));
            steps.Send(service::UploadRequest(category.upload, who, values));
        });
    }
}

wizard::CWizard& ControlledWizard(const RunValues& values) {
    if (!values.Controller) throw platform::PlatformError("no controller");
    return values.Controller->WizardHandle();
}

// The final text: as it always was when the service took everything, otherwise what did not
// get through and what to do about it.
std::string FinalText(const service::Identity& who, bool registered, int sent, int failed) {
    if (failed == 0 && (who.isSubscriber || registered))
        return who.isSubscriber ? std::string(kSubscriberComplete)
                                : kEvaluationCompleteLead + who.evalId + kEvaluationCompleteTail;
    std::string text = who.isSubscriber ? kSubscriberIncomplete : kEvaluationIncomplete;
    if (failed > 0)
        text += kItemsNotSentLead + std::to_string(failed) + kItemsNotSentOf + std::to_string(sent) + kItemsNotSentTail;
    if (!who.isSubscriber && !registered) text += kNotRegistered;
    return text + kRunAgainAdvice;
}

std::string WmiFailedText() {
    return service::AroundSiteAddress(kWmiFailedLead, kFaqPath, kWmiFailedTail);
}

}  // namespace

void CollectionRun::operator()(wizard::CWizard& wizard) const {
    WizardRunSteps steps(wizard, platform_.ui, client_);
    try {
        guarded([&] { ControlledWizard(values_).SetFrozen(true); });

        std::unique_ptr<platform::InstrumentationServices> services;
        guarded([&] { services = platform_.instrumentation.Connect(kMoniker); });
        if (!services) {
            guarded([&] {
                platform::MessageBox box;
                box.text = WmiFailedText();
                box.title = kWmiFailedTitle;
                platform_.ui.Show(box);
            });
            platform_.ui.End();
        }

        const service::Identity who{values_.IsSubscriber, values_.UserName, values_.UserPassword, values_.EvalID};

        guarded([&] { steps.SetProgressText(kDeletingProfile); });
        guarded([&] { steps.Send(service::ProfileResetRequest(who, values_.ProfileCrDate, values_.ProfileLuDate)); });

        guarded([&] { steps.SetProgressText(kUploadingSoftware); });
        guarded([&] { UploadInstalledSoftware(platform_.registry, who, steps); });

        SavedTexts saved;
        for (const CategoryQuery& category : kCategories)
            guarded([&] { UploadCategory(*services, category, who, steps, saved); });

        if (who.isSubscriber) guarded([&] { steps.Send(service::FinalizeRequest(who)); });

        guarded([&] { ControlledWizard(values_).SetFrozen(false); });

        guarded([&] { steps.SetProgressText(FinalText(who, values_.EvalRegistered, steps.Sent(), steps.Failed())); });
    } catch (const RunStopped&) {
        // The window is closing; it is not destroyed before the step ends, so leaving it frozen
        // is harmless.
    }
}

}  // namespace inventory
