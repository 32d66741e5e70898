// The engine: page list, step keys, steps and navigation, start, teardown and closing.
#include "wizard/cwizard.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>

#include "platform/common/errors.h"
#include "platform/common/guard.h"
#include "platform/common/numbers.h"
#include "platform/platform.h"
#include "wizard/paint_pacer.h"

namespace wizard {

using platform::guarded;

CWizard::~CWizard() {
    // Page windows hosted in picPage are children of this window; the page objects hold them
    // through guarded pointers, so release the pages first.
    pages_.clear();
}

IWizardPage* CWizard::PageAt(std::int16_t step) const {
    if (step < 1 || step > static_cast<std::int16_t>(pages_.size()) || !pages_[step - 1].Page)
        throw platform::PlatformError("no page at step " + std::to_string(step));
    return pages_[step - 1].Page.get();
}

std::int16_t CWizard::FindPageKey(const StepKey& key) const {
    for (std::size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i].Key == key) return static_cast<std::int16_t>(i + 1);
    return -1;
}

std::int16_t CWizard::ResolveStep(const StepKey& key) const {
    if (!IsUsableKey(key)) return -1;
    double number = 0;
    if (KeyReadsAsNumber(key, &number)) {
        const auto step = platform::toInt16(number);
        if (!step || *step < 1 || *step > stepCount_) return -1;
        return *step;
    }
    return FindPageKey(key);
}

void CWizard::AddPage(std::shared_ptr<IWizardPage> hPage, const StepKey& Key) {
    if (IsUsableKey(Key) && !KeyReadsAsNumber(Key) && FindPageKey(Key) != -1) return;  // a duplicate text key
    pages_.push_back(PageEntry{Key, std::move(hPage), nullptr, false});
    stepCount_ = static_cast<std::int16_t>(pages_.size());
}

void CWizard::SetNextStep(const StepKey& vData) {
    if (!stepInProgress_) return;
    const std::int16_t step = ResolveStep(vData);
    if (step != -1) nextStep_ = step;
}

void CWizard::SetCurrentStep(const StepKey& vData) {
    if (stepInProgress_) return;
    const std::int16_t step = ResolveStep(vData);
    if (step != -1) StepTo(static_cast<double>(step));
}

std::shared_ptr<IWizardPage> CWizard::PageHandle(const StepKey& Index) const {
    const std::int16_t step = ResolveStep(Index);
    if (step == -1) return nullptr;
    return pages_[step - 1].Page;
}

void CWizard::SetClientHandle(IWizardController* vData) {
    if (stepInProgress_) return;
    clientHandle_ = vData;
    if (!vData) finish();
}

void CWizard::StepTo(const StepKey& Step) {
    if (stepInProgress_) return;
    const std::int16_t step = ResolveStep(Step);
    if (step == -1) return;
    nextStep_ = step;
    this->Step(0);
}

void CWizard::Step(std::int32_t Direction) {
    if (stepInProgress_ || Direction < -1 || Direction > 1) return;
    if (currentStep_ < 1) {
        if (Direction != 0) nextStep_ = 1;
        currentStep_ = 0;
    }
    const int target = Direction != 0 ? currentStep_ + Direction : nextStep_;
    if (target > stepCount_ || target < 1) return;

    stepInProgress_ = true;
    nextStep_ = static_cast<std::int16_t>(target);
    struct ClearMark {
        bool& mark;
        ~ClearMark() { mark = false; }
    } clear{stepInProgress_};

    bool cancel = false;
    guarded([&] {
        if (!clientHandle_) throw platform::PlatformError("no controller");
        clientHandle_->BeforeStep(Direction, cancel);
    });
    if (cancel) return;

    const std::int16_t to = nextStep_;  // the controller may have redirected the step
    bool switched = true;               // a failure inside the switch counts as a switch made
    guarded([&] { switched = SwitchPage(currentStep_, to); });
    if (!switched) return;

    lastStep_ = currentStep_;
    currentStep_ = to;
    nextStep_ = -1;
    guarded([&] { RefreshButtons(); });
    if (currentStep_ == 3) guarded([&] { RunAudit(); });
    if (currentStep_ == stepCount_) guarded([&] { SetFinishMode(); });
    if (currentStep_ == 1) guarded([&] { DisableBack(); });
    guarded([&] {
        if (!clientHandle_) throw platform::PlatformError("no controller");
        clientHandle_->AfterStep();
    });
    stepInProgress_ = false;

    // A close confirmed during the step; inside the Next button's work, once that has ended.
    if (closeRequested_ && !nextInProgress_) FinishAndClose();
}

void CWizard::RunAudit() {
    if (!auditRoutine_) return;
    // The run yields at every item and sets a progress text for most; painting each would cost
    // more than the items themselves.
    PaintPacer pacer(*this);
    runPacer_ = &pacer;
    const auto unset = qScopeGuard([&] { runPacer_ = nullptr; });
    auditRoutine_(*this);
}

void CWizard::Start(const StepKey& FirstStep) {
    if (finishedLoading_ || stepCount_ < 1) return;
    // The window and its controls exist, hidden, from the wizard's creation on.
    if (std::holds_alternative<std::monostate>(FirstStep)) {
        Step(+1);
    } else {
        const std::int16_t step = ResolveStep(FirstStep);
        if (step == -1) return;
        StepTo(static_cast<double>(step));
    }
    show();
    finishedLoading_ = true;
}

void CWizard::finish() {
    if (stepInProgress_) return;
    if (currentPageForm_) currentPageForm_->setVisible(false);
    for (PageEntry& entry : pages_) {
        if (!entry.Hosted) continue;
        if (entry.Page) {
            if (QWidget* form = entry.Page->Form()) platform_.windows.SetParent(form, entry.SavedParent);
            entry.Page->Unload();
        }
        entry.Page.reset();
    }
    clientHandle_ = nullptr;
}

void CWizard::SetFrozen(bool vData) {
    frozen_ = vData;
    if (currentStep_ != 3) return;
    cmdStepBack_->setEnabled(currentStep_ != 1 && !vData);
    cmdStepFwd_->setEnabled(currentStep_ != stepCount_ && !vData);
    picPage_->setEnabled(!vData);
}

void CWizard::cmdStepBack_Click() {
    if (nextInProgress_) return;  // the Next button's work is waiting for the service
    focusReturnHandle_ = cmdStepBack_;
    Step(-1);
}

void CWizard::cmdStepFwd_Click() {
    if (nextHandler_) {
        // The work may yield after a request, so that an Esc or a close pressed meanwhile is
        // answered; a second Next or a Back in that yield must not start work of their own.
        if (nextInProgress_) return;
        nextInProgress_ = true;
        struct ClearMark {
            bool& mark;
            ~ClearMark() { mark = false; }
        } clear{nextInProgress_};
        nextHandler_(*this);
        nextInProgress_ = false;
        if (closeRequested_ && !stepInProgress_) FinishAndClose();
        return;
    }
    focusReturnHandle_ = cmdStepFwd_;
    Step(+1);
}

void CWizard::cmdTerminate_Click() {
    focusReturnHandle_ = cmdTerminate_;
    close();
}

void CWizard::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        event->ignore();
        if (closeRequested_) return;  // already confirmed; the window closes when the step ends
        bool cancel = false;
        // Without a controller there is nobody to ask: the window simply closes.
        if (clientHandle_ && !guarded([&] { clientHandle_->OnCancel(cancel); })) cancel = true;
        if (cancel) return;
        if (stepInProgress_ || nextInProgress_) {
            closeRequested_ = true;
            return;
        }
        guarded([&] { finish(); });  // a page that fails to unload must not keep the program alive
        closing_ = true;
    }
    event->accept();
    if (closed_) return;
    closed_ = true;
    pages_.clear();
    emit closed();
}

void CWizard::FinishAndClose() {
    closeRequested_ = false;
    guarded([&] { finish(); });
    closing_ = true;
    close();
}

}  // namespace wizard

namespace wizard {

bool CWizard::SetPageLabelText(const char* labelName, const std::string& text) {
    if (!currentPageForm_) return false;
    auto* label = currentPageForm_->findChild<QLabel*>(QString::fromLatin1(labelName));
    if (!label) return false;
    label->setText(QString::fromStdString(text));
    if (runPacer_) runPacer_->Tick();
    return true;
}

}  // namespace wizard
