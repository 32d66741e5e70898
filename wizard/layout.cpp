// The window's layout around the current page: side image, page area, bevel lines, buttons,
// then the window's size and, when that changed, its place on the screen and the pointer.
#include <algorithm>

#include <QLabel>
#include <QPushButton>

#include "platform/common/guard.h"
#include "platform/common/numbers.h"
#include "platform/platform.h"
#include "wizard/cwizard.h"

namespace wizard {

using platform::guarded;
using platform::guardedCondition;
using platform::half;
using platform::nearest;

namespace {

// Pixel distances of the window's layout.
constexpr int kMargin = 4;            // side image and bevels from the window's left and top edges
constexpr int kPageGap = 6;           // side image to page area; page area to the bevel below it
constexpr int kPageBorder = 2;        // the page area's edge around the page, both sides together
constexpr int kPageTop = 2;           // the page area's top when it is not centred on the image
constexpr int kButtonsSlack = 30;     // added to the buttons' widths for the narrowest window
constexpr int kBevelOverhang = 3;     // the bevels reach past the page area's right edge
constexpr int kClientRightGap = 4;    // page area (or buttons) to the client's right edge
constexpr int kButtonRowGap = 6;      // bevels to the button row
constexpr int kTerminateWidth = 82;   // Cancel's offset from the client's right edge
constexpr int kNextGap = 6;           // between Next and Cancel
constexpr int kNextWidth = 82;
constexpr int kBackGap = 2;           // between Back and Next
constexpr int kBackWidth = 80;
constexpr int kBottomGap = 4;         // below the button row

}  // namespace

CWizard::PageSize CWizard::MeasurePage() {
    const std::int16_t step = currentStep_ < 1 ? 1 : currentStep_;
    PageSize size;
    if (step > static_cast<std::int16_t>(pages_.size()) || !pages_[step - 1].Page) return size;
    QWidget* form = pages_[step - 1].Page->Form();
    if (!form) return size;
    const double tx = platform_.windows.TwipsPerPixelX(), ty = platform_.windows.TwipsPerPixelY();
    // A page window has no border: its outer size is its client size.
    size.width = static_cast<int>(nearest(form->width() * tx) / nearest(tx));
    size.height = static_cast<int>(nearest(form->height() * ty) / nearest(ty));
    size.found = true;
    return size;
}

void CWizard::ArrangeWindow() {
    QWidget* sp = picSplash_;
    QWidget* pp = picPage_;
    std::int64_t B = 0, X = 0, Y = 0;

    finishedLoading_ = false;
    guarded([&] { B = nearest(double(cmdStepBack_->width()) + cmdStepFwd_->width() + cmdTerminate_->width()); });
    guarded([&] { sp->move(kMargin, kMargin); });
    guarded([&] { X = nearest(double(sp->x()) + sp->width()) + kPageGap; });

    PageSize page;
    guarded([&] { page = MeasurePage(); });
    if (!page.found) {
        finishedLoading_ = true;
        return;
    }

    guarded([&] { pp->setGeometry(int(X), 0, page.width + kPageBorder, page.height + kPageBorder); });
    if (guardedCondition([&] { return sp->height() > pp->height(); })) {
        // Centred on half the side image's bottom edge.
        guarded([&] { pp->move(int(X), int(half(nearest(double(sp->y()) + sp->height())) - half(nearest(pp->height())))); });
    } else {
        guarded([&] { pp->move(int(X), kPageTop); });
    }
    guarded([&] { X = nearest(double(pp->x()) + pp->width()); });
    guarded([&] {
        Y = std::max(nearest(double(pp->y()) + pp->height()), nearest(double(sp->y()) + sp->height()));
        Y = Y + kPageGap;
    });
    B = B + kButtonsSlack;
    X = std::max(X, B);

    lnBevel_[0] = LineControl{kMargin, int(Y), int(X + kBevelOverhang), int(Y)};
    lnBevel_[1] = LineControl{kMargin, int(Y + 1), int(X + kBevelOverhang), int(Y + 1)};

    X = X + kClientRightGap;  // the client width
    Y = Y + kButtonRowGap;  // the top of the button row
    guarded([&] { cmdTerminate_->move(int(X - kTerminateWidth), int(Y)); });
    guarded([&] { cmdStepFwd_->move(int(nearest(double(cmdTerminate_->x()) - kNextGap - kNextWidth)), int(Y)); });
    guarded([&] { cmdStepBack_->move(int(nearest(double(cmdStepFwd_->x()) - kBackGap) - kBackWidth), int(Y)); });
    guarded([&] { Y = nearest(double(Y) + kBottomGap + cmdTerminate_->height()); });  // the client height

    SizeWindow(X, Y);
    update();
    finishedLoading_ = true;
}

// The window's size in twips for the client size in pixels; when that moved the window, it is
// centred on the screen and the pointer on the control that takes the focus back.
void CWizard::SizeWindow(std::int64_t clientWidth, std::int64_t clientHeight) {
    platform::WindowSystem& ws = platform_.windows;
    std::int64_t FW = 0, FH = 0;
    guarded([&] { FW = nearest(clientWidth * ws.TwipsPerPixelX() + platform::kFrameAllowanceX); });
    guarded([&] { FH = nearest(clientHeight * ws.TwipsPerPixelY() + platform::kFrameAllowanceY); });

    platform::Rect R1, R2;
    guarded([&] { R1 = ws.GetWindowRect(this); });
    guarded([&] { SetHeightTwips(double(FH)); });
    guarded([&] { SetWidthTwips(double(FW)); });
    guarded([&] { R2 = ws.GetWindowRect(this); });
    if (guardedCondition([&] { return !platform::EqualRect(R1, R2); })) {
        guarded([&] {
            const std::int64_t left = half(nearest(ws.ScreenWidth())) - half(FW);
            const std::int64_t top = half(nearest(ws.ScreenHeight())) - half(FH);
            MoveTwips(double(left), double(top));
        });
        guarded([&] { CenterCursor(focusReturnHandle_); });
    }
}

void CWizard::CenterCursor(platform::WindowHandle handle) {
    if (!handle) return;
    const platform::Rect r = platform_.windows.GetWindowRect(handle);
    platform_.windows.SetCursorPos(int(half(std::int64_t(r.left) + r.right)), int(half(std::int64_t(r.top) + r.bottom)));
}

}  // namespace wizard
