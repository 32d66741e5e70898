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
    platform::WindowSystem& ws = platform_.windows;
    QWidget* sp = picSplash_;
    QWidget* pp = picPage_;
    std::int64_t B = 0, X = 0, Y = 0;

    finishedLoading_ = false;
    guarded([&] { B = nearest(double(cmdStepBack_->width()) + cmdStepFwd_->width() + cmdTerminate_->width()); });
    guarded([&] { sp->move(4, 4); });
    guarded([&] { X = nearest(double(sp->x()) + sp->width()) + 6; });

    PageSize page;
    guarded([&] { page = MeasurePage(); });
    if (!page.found) {
        finishedLoading_ = true;
        return;
    }

    guarded([&] { pp->setGeometry(int(X), 0, page.width + 2, page.height + 2); });
    if (guardedCondition([&] { return sp->height() > pp->height(); })) {
        // Centred on half the side image's bottom edge.
        guarded([&] { pp->move(int(X), int(half(nearest(double(sp->y()) + sp->height())) - half(nearest(pp->height())))); });
    } else {
        guarded([&] { pp->move(int(X), 2); });
    }
    guarded([&] { X = nearest(double(pp->x()) + pp->width()); });
    guarded([&] {
        Y = std::max(nearest(double(pp->y()) + pp->height()), nearest(double(sp->y()) + sp->height()));
        Y = Y + 6;
    });
    B = B + 30;
    X = std::max(X, B);

    lnBevel_[0] = LineControl{4, int(Y), int(X + 3), int(Y)};
    lnBevel_[1] = LineControl{4, int(Y + 1), int(X + 3), int(Y + 1)};

    X = X + 4;  // the client width
    Y = Y + 6;  // the top of the button row
    guarded([&] { cmdTerminate_->move(int(X - 82), int(Y)); });
    guarded([&] { cmdStepFwd_->move(int(nearest(double(cmdTerminate_->x()) - 6 - 82)), int(Y)); });
    guarded([&] { cmdStepBack_->move(int(nearest(double(cmdStepFwd_->x()) - 2) - 80), int(Y)); });
    guarded([&] { Y = nearest(double(Y) + 4 + cmdTerminate_->height()); });  // the client height

    std::int64_t FW = 0, FH = 0;
    guarded([&] { FW = nearest(X * ws.TwipsPerPixelX() + platform::kFrameAllowanceX); });
    guarded([&] { FH = nearest(Y * ws.TwipsPerPixelY() + platform::kFrameAllowanceY); });

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
    update();
    finishedLoading_ = true;
}

void CWizard::CenterCursor(platform::WindowHandle handle) {
    if (!handle) return;
    const platform::Rect r = platform_.windows.GetWindowRect(handle);
    platform_.windows.SetCursorPos(int(half(std::int64_t(r.left) + r.right)), int(half(std::int64_t(r.top) + r.bottom)));
}

}  // namespace wizard
