#pragma once
// A page of a chosen pixel size that records what the wizard tells it, and a controller that
// records the wizard's calls. Shared by the window and the page tests.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "wizard/cwizard.h"
#include "wizard/page_form.h"

namespace testing_pages {

class TestPage : public wizard::CPageForm {
public:
    TestPage(platform::WindowSystem& windows, int widthPx = 299, int heightPx = 226)
        : CPageForm(windows), width_(widthPx), height_(heightPx) {}

    std::vector<std::int16_t> shownFrom;  // BeforePageShow's CurrentStep, one per call
    std::vector<std::int16_t> hiddenTo;   // BeforePageHide's NextStep, one per call
    bool refuseHide = false;
    int loads = 0, unloads = 0;
    QWidget* parentAtUnload = nullptr;
    QPointer<QWidget> holder;  // when set, the form is created inside it (a parent to give back)

    void BeforePageShow(wizard::CWizard&, std::int16_t CurrentStep) override { shownFrom.push_back(CurrentStep); }
    void BeforePageHide(wizard::CWizard&, std::int16_t NextStep, bool& Cancel) override {
        hiddenTo.push_back(NextStep);
        Cancel = refuseHide;
    }
    QWidget* Load() override {
        const bool fresh = Form() == nullptr;
        QWidget* form = CPageForm::Load();
        if (fresh) {
            ++loads;
            if (holder) form->setParent(holder, form->windowFlags());
        }
        return form;
    }

protected:
    void CreateControls(QWidget& form) override { form.resize(width_, height_); }
    void FormUnload() override {
        ++unloads;
        parentAtUnload = Form()->parentWidget();
    }

private:
    int width_, height_;
};

class RecordingController : public wizard::IWizardController {
public:
    explicit RecordingController(wizard::CWizard& wizard) : wizard_(wizard) {}

    std::vector<std::int32_t> steps;  // BeforeStep's directions
    int cancels = 0;
    bool refuseClose = false;
    std::function<void()> duringStep;  // runs inside BeforeStep, while the step is in progress

    void BeforeUILoad() override {}
    void BeforeStep(std::int32_t Direction, bool&) override {
        steps.push_back(Direction);
        if (duringStep) duringStep();
    }
    void AfterStep() override {}
    void OnCancel(bool& Cancel) override {
        ++cancels;
        Cancel = refuseClose;
    }
    wizard::CWizard& WizardHandle() override { return wizard_; }

private:
    wizard::CWizard& wizard_;
};

}  // namespace testing_pages
