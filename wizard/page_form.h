#pragma once
// Base of the wizard's pages: a page object that is also a borderless window of 4485 x 3390 twips,
// created on first use, with controls placed in twips.
#include <QPointer>
#include <QRect>
#include <QWidget>

#include "platform/window/window.h"
#include "wizard/contracts.h"

namespace wizard {

inline constexpr int kPageWidthTwips = 4485;
inline constexpr int kPageHeightTwips = 3390;

class CPageForm : public IWizardPage {
public:
    explicit CPageForm(platform::WindowSystem& windows) : windows_(windows) {}
    ~CPageForm() override;

    // The pages of this program do nothing when shown or hidden and never refuse a hide.
    void BeforePageShow(CWizard&, std::int16_t) override {}
    void BeforePageHide(CWizard&, std::int16_t, bool&) override {}

    QWidget* Load() override;
    QWidget* Form() const override { return form_; }
    void Unload() override;

protected:
    // Builds the page's controls inside `form` (already sized and borderless).
    virtual void CreateControls(QWidget& form) = 0;
    // The form's own unload handling; runs before the form is destroyed.
    virtual void FormUnload() {}

    // A rectangle given in twips, in pixels.
    QRect Twips(int left, int top, int width, int height) const;
    platform::WindowSystem& Windows() const { return windows_; }

private:
    platform::WindowSystem& windows_;
    QPointer<QWidget> form_;
};

}  // namespace wizard
