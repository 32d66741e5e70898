#pragma once
// A page and a controller that record what the engine tells them.
#include <functional>
#include <string>
#include <vector>

#include <QWidget>

#include "platform/common/errors.h"
#include "wizard/cwizard.h"
#include "wizard/page_form.h"

namespace enginetest {

using Log = std::vector<std::string>;

class RecordingPage : public wizard::CPageForm {
public:
    RecordingPage(platform::WindowSystem& ws, std::string name, Log& log) : CPageForm(ws), name_(std::move(name)), log_(log) {}

    bool refuseHide = false;
    bool failShow = false;

    void BeforePageShow(wizard::CWizard&, std::int16_t current) override {
        log_.push_back(name_ + ".show(" + std::to_string(current) + ")");
        if (failShow) throw platform::PlatformError("show failed");
    }
    void BeforePageHide(wizard::CWizard&, std::int16_t next, bool& cancel) override {
        log_.push_back(name_ + ".hide(" + std::to_string(next) + ")");
        cancel = refuseHide;
    }

protected:
    void CreateControls(QWidget&) override { log_.push_back(name_ + ".load"); }
    void FormUnload() override { log_.push_back(name_ + ".unload"); }

private:
    std::string name_;
    Log& log_;
};

class RecordingController : public wizard::IWizardController {
public:
    RecordingController(wizard::CWizard& w, Log& log) : wizard_(w), log_(log) {}

    bool cancelStep = false;
    bool cancelClose = false;
    bool failBeforeStep = false;
    std::function<void()> duringBeforeStep;

    void BeforeUILoad() override { log_.push_back("BeforeUILoad"); }
    void BeforeStep(std::int32_t direction, bool& cancel) override {
        log_.push_back("BeforeStep(" + std::to_string(direction) + ")");
        if (duringBeforeStep) duringBeforeStep();
        if (failBeforeStep) throw platform::PlatformError("controller failed");
        cancel = cancelStep;
    }
    void AfterStep() override { log_.push_back("AfterStep"); }
    void OnCancel(bool& cancel) override {
        log_.push_back("OnCancel");
        cancel = cancelClose;
    }
    wizard::CWizard& WizardHandle() override { return wizard_; }

private:
    wizard::CWizard& wizard_;
    Log& log_;
};

}  // namespace enginetest
