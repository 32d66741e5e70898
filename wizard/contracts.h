#pragma once
// The contracts between the wizard, its pages and its controller.
#include <cstdint>

class QWidget;

namespace wizard {

class CWizard;

class IWizardPage {
public:
    virtual ~IWizardPage() = default;

    // Called by the Wizard before the form is shown and becomes the current step in the wizard sequence.
    virtual void BeforePageShow(CWizard& Wizard, std::int16_t CurrentStep) = 0;

    // Called by the Wizard before the form is hidden to be replaced by the next page in the wizard sequence.
    virtual void BeforePageHide(CWizard& Wizard, std::int16_t NextStep, bool& Cancel) = 0;

    // The page object is also its window: the engine loads, reaches and unloads it through these.
    virtual QWidget* Load() = 0;          // creates the window, not shown, when not yet loaded
    virtual QWidget* Form() const = 0;    // the window, or null while not loaded
    virtual void Unload() = 0;            // runs the window's unload handling, then destroys it
};

class IWizardController {
public:
    virtual ~IWizardController() = default;

    // Called by the UI component of the Wizard before it becomes visible.
    virtual void BeforeUILoad() = 0;

    // Called by the Wizard before the current page changes.
    virtual void BeforeStep(std::int32_t Direction, bool& Cancel) = 0;

    // Called by the Wizard after the current step has changed.
    virtual void AfterStep() = 0;

    // Called by the UI component of the Wizard in response to the 'Cancel' or 'Finish' button being pressed.
    virtual void OnCancel(bool& Cancel) = 0;

    // The wizard the controller drives.
    virtual CWizard& WizardHandle() = 0;
};

}  // namespace wizard
