// Button states after a step, the focus between the page area and the buttons, and painting.
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "platform/common/guard.h"
#include "platform/common/numbers.h"
#include "platform/platform.h"
#include "wizard/cwizard.h"
#include "wizard/texts.h"

namespace wizard {

using platform::guarded;
using platform::nearest;

void CWizard::RefreshButtons() {
    guarded([&] { ArrangeWindow(); });
    guarded([&] { cmdStepBack_->setEnabled(true); });
    guarded([&] { cmdStepFwd_->setEnabled(true); });
    guarded([&] { SetDefaultButton(cmdStepFwd_, true); });
    guarded([&] {
        if (cmdTerminate_->text() == QString::fromUtf8(texts::kFinish)) cmdTerminate_->setText(texts::kCancel);
    });
    guarded([&] { SetDefaultButton(cmdTerminate_, currentStep_ == stepCount_); });
    guarded([&] { SetTabIndex(picPage_, 5); });
    guarded([&] {
        platform_.windows.SetFocus(picPage_);
        // Hiding the page that had the focus leaves it on picPage, and a widget that already has the
        // focus is not told again: pass it on into the new page all the same.
        if (focusWidget() == picPage_) picPage_GotFocus();
    });
}

void CWizard::SetFinishMode() {
    cmdStepFwd_->setEnabled(false);
    cmdTerminate_->setText(texts::kFinish);
    SetDefaultButton(cmdTerminate_, true);
}

void CWizard::DisableBack() { cmdStepBack_->setEnabled(false); }

void CWizard::picPage_GotFocus() {
    QWidget* form = nullptr;
    guarded([&] {
        const PageEntry& entry = pages_.at(static_cast<std::size_t>(currentStep_ - 1));
        if (entry.Page) form = entry.Page->Form();
    });
    guarded([&] { platform_.windows.SetFocus(form); });
}

void CWizard::TransferFocus() {
    if (stepInProgress_) return;
    if (!focusReturnHandle_) focusReturnHandle_ = cmdStepFwd_;
    SetTabIndex(cmdStepFwd_, 0);
    SetTabIndex(cmdTerminate_, 1);
    SetTabIndex(cmdStepBack_, 3);
    SetTabIndex(picPage_, 4);
    platform_.windows.SetFocus(focusReturnHandle_);
}

bool CWizard::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picPage_ && event->type() == QEvent::FocusIn) picPage_GotFocus();
    return QWidget::eventFilter(watched, event);
}

void CWizard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The bevel: a shadow line directly above a highlight line; a line leaves out its end point.
    const QColor colours[2] = {palette().color(QPalette::Dark), palette().color(QPalette::Light)};
    for (int i = 0; i < 2; ++i) {
        const LineControl& l = lnBevel_[i];
        if (l.X2 <= l.X1) continue;
        painter.setPen(colours[i]);
        painter.drawLine(l.X1, l.Y1, l.X2 - 1, l.Y2);
    }
    guarded([&] { Form_Paint(painter); });
}

void CWizard::Form_Paint(QPainter& painter) {
    platform::Rect r;
    r.left = int(nearest(picSplash_->x()));
    r.top = int(nearest(picSplash_->y()));
    r.right = int(nearest(double(r.left) + picSplash_->width()));
    r.bottom = int(nearest(double(r.top) + picSplash_->height()));
    platform::InflateRect(r, 1, 1);
    platform_.windows.DrawEdge(painter, this, r, platform::BDR_SUNKENOUTER, platform::BF_RECT);
}

}  // namespace wizard
