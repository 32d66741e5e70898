// The collection run: freeze, connect, reset the profile, upload the installed programs and the
// seven categories item by item, close the upload, unfreeze, final text.
// Every step and sub-step is guarded on its own; only a missing instrumentation stops the run.
#include "inventory/collection_run.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inventory/installed_software.h"
#include "inventory/run_steps.h"
#include "inventory/texts.h"
#include "platform/common/date.h"
#include "platform/common/errors.h"
#include "platform/common/guard.h"

namespace inventory {

using platform::guarded;

namespace {

// The run's steps over the sink and the sender, counting what was tried and what failed.
class SinkRunSteps : public RunSteps {
public:
    SinkRunSteps(ProgressSink& sink, const SendRequest& send) : sink_(sink), send_(send) {}

    void Send(const service::Request& request) override {
        ++sent_;
        try {
            send_(request);
        } catch (...) {
            ++failed_;
            throw;  // the guards around the request still see the failure
        }
    }
    void Yield() override { sink_.Yield(); }
    void SetProgressText(const std::string& text) override { sink_.SetProgressText(text); }

    int Sent() const { return sent_; }
    int Failed() const { return failed_; }

private:
    int sent_ = 0;
    int failed_ = 0;
    ProgressSink& sink_;
    const SendRequest& send_;
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

std::string WmiFailedText() {
    return service::AroundSiteAddress(kWmiFailedLead, kFaqPath, kWmiFailedTail);
}

}  // namespace

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

RunResult CollectionRun::operator()(ProgressSink& sink) const {
    SinkRunSteps steps(sink, send_);
    RunResult result;
    guarded([&] { sink.SetFrozen(true); });

    std::unique_ptr<platform::InstrumentationServices> services;
    guarded([&] { services = instrumentation_.Connect(kMoniker); });
    if (!services) {
        guarded([&] { sink.InstrumentationUnavailable(kWmiFailedTitle, WmiFailedText()); });
        result.instrumentationUnavailable = true;
        result.finalText = WmiFailedText();
        return result;
    }

    const service::Identity& who = values_.who;

    guarded([&] { steps.SetProgressText(kDeletingProfile); });
    guarded([&] { steps.Send(service::ProfileResetRequest(who, values_.profileCrDate, values_.profileLuDate)); });

    guarded([&] { steps.SetProgressText(kUploadingSoftware); });
    guarded([&] { UploadInstalledSoftware(registry_, who, steps); });

    SavedTexts saved;
    for (const CategoryQuery& category : kCategories)
        guarded([&] { UploadCategory(*services, category, who, steps, saved); });

    if (who.isSubscriber) guarded([&] { steps.Send(service::FinalizeRequest(who)); });

    guarded([&] { sink.SetFrozen(false); });

    result.sent = steps.Sent();
    result.failed = steps.Failed();
    result.complete = result.failed == 0 && (who.isSubscriber || values_.evalRegistered);
    result.finalText = FinalText(who, values_.evalRegistered, result.sent, result.failed);
    guarded([&] { sink.SetFinalText(result.finalText); });
    return result;
}

}  // namespace inventory
