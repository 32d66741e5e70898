#pragma once
// The wizard window and its engine: page list, steps, navigation, hosting, layout, buttons and focus.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "platform/window/window.h"
#include "wizard/contracts.h"
#include "wizard/step_key.h"

class QLabel;
class QPushButton;

namespace platform { struct Platform; }

namespace wizard {

class PaintPacer;

struct PageEntry {
    StepKey Key;
    std::shared_ptr<IWizardPage> Page;
    platform::WindowHandle SavedParent = nullptr;
    bool Hosted = false;
};

// A line control: drawn by the window from (X1, Y1) to (X2, Y2), end point excluded.
struct LineControl {
    int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

class CWizard : public QWidget {
    Q_OBJECT

public:
    explicit CWizard(platform::Platform& platform);
    ~CWizard() override;

    // Public operations.
    std::int16_t LastStep() const { return lastStep_; }
    std::int16_t NextStep() const { return nextStep_; }
    void SetNextStep(const StepKey& vData);
    std::int16_t CurrentStep() const { return currentStep_; }
    bool Frozen() const { return frozen_; }
    void AddPage(std::shared_ptr<IWizardPage> hPage, const StepKey& Key);
    void SetCurrentStep(const StepKey& vData);
    std::shared_ptr<IWizardPage> PageHandle(const StepKey& Index) const;
    std::int16_t StepCount() const { return stepCount_; }
    IWizardController* ClientHandle() const { return clientHandle_; }
    void SetClientHandle(IWizardController* vData);
    void StepTo(const StepKey& Step);
    void Start(const StepKey& FirstStep = {});
    void finish();
    void Step(std::int32_t Direction);
    bool FinishedLoading() const { return finishedLoading_; }
    void SetFrozen(bool vData);
    void TransferFocus();
    void RunAudit();

    // What the program plugs in: the collection run that reaching step 3 starts, and the Next
    // button's work. Without a Next handler, Next just steps forward.
    void SetAuditRoutine(std::function<void(CWizard&)> routine) { auditRoutine_ = std::move(routine); }
    void SetNextHandler(std::function<void(CWizard&)> handler) { nextHandler_ = std::move(handler); }

    bool StepInProgress() const { return stepInProgress_; }
    QWidget* CurrentPageForm() const { return currentPageForm_; }
    // Sets the text of the current page's label of that object name; false when there is no
    // current page or no such label.
    bool SetPageLabelText(const char* labelName, const std::string& text);
    platform::WindowHandle FocusReturnHandle() const { return focusReturnHandle_; }
    void SetFocusReturnHandle(platform::WindowHandle h) { focusReturnHandle_ = h; }
    const std::vector<PageEntry>& Pages() const { return pages_; }
    platform::Platform& Platform() const { return platform_; }

    // A close confirmed while a step or the Next button's work is in progress: the collection run
    // stops at its next yield, the Next button's work after its request, and the window closes
    // once they have ended.
    bool CloseRequested() const { return closeRequested_; }

    // The buttons' handlers: what a click (or Enter or Esc) does.
    void cmdStepBack_Click();
    void cmdStepFwd_Click();
    void cmdTerminate_Click();

    // Controls.
    QLabel* picSplash() const { return picSplash_; }
    QWidget* picPage() const { return picPage_; }
    QPushButton* cmdStepBack() const { return cmdStepBack_; }
    QPushButton* cmdStepFwd() const { return cmdStepFwd_; }
    QPushButton* cmdTerminate() const { return cmdTerminate_; }
    const std::array<LineControl, 2>& lnBevel() const { return lnBevel_; }
    // The window's controls in tab order (tab index 0 first).
    const std::vector<QWidget*>& TabOrder() const { return tabOrder_; }
    // The button that Enter clicks.
    QPushButton* DefaultButton() const;

    // The window's outer size and position in twips.
    double WidthTwips() const;
    double HeightTwips() const;
    void SetWidthTwips(double twips);
    void SetHeightTwips(double twips);
    void MoveTwips(double left, double top);
    double LeftTwips() const;
    double TopTwips() const;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PageSize {
        int width = 0, height = 0;
        bool found = false;
    };

    std::int16_t ResolveStep(const StepKey& key) const;
    std::int16_t FindPageKey(const StepKey& key) const;
    IWizardPage* PageAt(std::int16_t step) const;

    bool SwitchPage(std::int16_t from, std::int16_t to);
    PageSize MeasurePage();
    void ArrangeWindow();
    void SizeWindow(std::int64_t clientWidth, std::int64_t clientHeight);
    void CenterCursor(platform::WindowHandle handle);
    void RefreshButtons();
    void SetFinishMode();
    void DisableBack();
    void picPage_GotFocus();
    void Form_Paint(QPainter& painter);

    void FinishAndClose();
    void SetTabIndex(QWidget* control, int index);
    void SetDefaultButton(QPushButton* button, bool isDefault);

    platform::Platform& platform_;
    std::vector<PageEntry> pages_;
    std::int16_t currentStep_ = -1;
    std::int16_t lastStep_ = -1;
    std::int16_t nextStep_ = -1;
    std::int16_t stepCount_ = -1;
    bool stepInProgress_ = false;
    bool frozen_ = false;
    bool finishedLoading_ = false;
    bool closeRequested_ = false;
    bool nextInProgress_ = false;  // the Next button's work is running
    bool closing_ = false;
    bool closed_ = false;
    IWizardController* clientHandle_ = nullptr;
    QPointer<QWidget> currentPageForm_;
    // The position last set in twips and the pixel position it gave: until the window moves,
    // reading the position gives back those twips rather than the pixels rounded to twips.
    double placedLeftTwips_ = 0, placedTopTwips_ = 0;
    std::optional<QPoint> placedAt_;
    platform::WindowHandle focusReturnHandle_ = nullptr;

    std::function<void(CWizard&)> auditRoutine_;
    PaintPacer* runPacer_ = nullptr;  // while the collection run is in progress
    std::function<void(CWizard&)> nextHandler_;

    QLabel* picSplash_ = nullptr;
    QWidget* picPage_ = nullptr;
    QPushButton* cmdStepBack_ = nullptr;
    QPushButton* cmdStepFwd_ = nullptr;
    QPushButton* cmdTerminate_ = nullptr;
    std::array<LineControl, 2> lnBevel_{};
    std::vector<QWidget*> tabOrder_;
};

}  // namespace wizard
