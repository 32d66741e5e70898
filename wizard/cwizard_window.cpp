// The wizard window's creation, its outer size in twips, and hosting of page windows.
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

#include "platform/common/errors.h"
#include "platform/common/numbers.h"
#include "platform/platform.h"
#include "platform/ui/ui.h"
#include "wizard/controls.h"
#include "wizard/cwizard.h"
#include "wizard/splash_image.h"
#include "wizard/texts.h"

namespace wizard {
namespace {

// The size the window description gives the client area before the first layout: 6120 x 4110 twips.
constexpr int kStoredClientWidthTwips = 6120;
constexpr int kStoredClientHeightTwips = 4110;

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->resize(80, 23);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

CWizard::CWizard(platform::Platform& platform)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      platform_(platform) {
    setObjectName("CWizard");
    setWindowTitle(platform::kApplicationTitle);
    setWindowIcon(WindowIcon());
    setFont(DialogFont());  // hosted pages inherit it

    picSplash_ = new QLabel(this);
    picSplash_->setObjectName("picSplash");
    picSplash_->setPixmap(SplashImage());
    picSplash_->setGeometry(0, 0, kSplashWidth, kSplashHeight);

    picPage_ = new QWidget(this);
    picPage_->setObjectName("picPage");
    picPage_->setFocusPolicy(Qt::TabFocus);
    picPage_->installEventFilter(this);

    cmdStepBack_ = MakeButton(this, "cmdStepBack", texts::kBack);
    cmdStepFwd_ = MakeButton(this, "cmdStepFwd", texts::kNext);
    cmdTerminate_ = MakeButton(this, "cmdTerminate", texts::kCancel);
    cmdStepFwd_->setDefault(true);
    connect(cmdStepBack_, &QPushButton::clicked, this, [this] { cmdStepBack_Click(); });
    connect(cmdStepFwd_, &QPushButton::clicked, this, [this] { cmdStepFwd_Click(); });
    connect(cmdTerminate_, &QPushButton::clicked, this, [this] { cmdTerminate_Click(); });

    // Enter answers the default button; Esc answers Cancel, whatever its caption.
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), this);
        connect(enter, &QShortcut::activated, this, [this] {
            if (QPushButton* b = DefaultButton(); b && b->isEnabled()) b->click();
        });
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { cmdTerminate_->click(); });

    tabOrder_ = {cmdStepFwd_, cmdTerminate_, cmdStepBack_, picPage_, picSplash_};
    SetTabIndex(cmdStepFwd_, 0);

    const double tx = platform_.windows.TwipsPerPixelX(), ty = platform_.windows.TwipsPerPixelY();
    setFixedSize(static_cast<int>(platform::nearest(kStoredClientWidthTwips / tx)),
                 static_cast<int>(platform::nearest(kStoredClientHeightTwips / ty)));
}

QPushButton* CWizard::DefaultButton() const {
    for (QPushButton* b : {cmdStepFwd_, cmdTerminate_, cmdStepBack_})
        if (b->isDefault()) return b;
    return nullptr;
}

void CWizard::SetDefaultButton(QPushButton* button, bool isDefault) {
    if (isDefault)
        for (QPushButton* b : {cmdStepFwd_, cmdTerminate_, cmdStepBack_})
            if (b != button) b->setDefault(false);
    button->setDefault(isDefault);
}

void CWizard::SetTabIndex(QWidget* control, int index) {
    std::erase(tabOrder_, control);
    const auto at = std::min<std::size_t>(static_cast<std::size_t>(std::max(index, 0)), tabOrder_.size());
    tabOrder_.insert(tabOrder_.begin() + static_cast<std::ptrdiff_t>(at), control);
    for (std::size_t i = 0; i + 1 < tabOrder_.size(); ++i) QWidget::setTabOrder(tabOrder_[i], tabOrder_[i + 1]);
}

// Outer size and position in twips: the client area plus the frame allowance.
double CWizard::WidthTwips() const { return width() * platform_.windows.TwipsPerPixelX() + platform::kFrameAllowanceX; }
double CWizard::HeightTwips() const { return height() * platform_.windows.TwipsPerPixelY() + platform::kFrameAllowanceY; }

void CWizard::SetWidthTwips(double twips) {
    const auto w = platform::nearest((twips - platform::kFrameAllowanceX) / platform_.windows.TwipsPerPixelX());
    if (w < 1) throw platform::PlatformError("window width out of range");
    setFixedSize(static_cast<int>(w), height());
}

void CWizard::SetHeightTwips(double twips) {
    const auto h = platform::nearest((twips - platform::kFrameAllowanceY) / platform_.windows.TwipsPerPixelY());
    if (h < 1) throw platform::PlatformError("window height out of range");
    setFixedSize(width(), static_cast<int>(h));
}

double CWizard::LeftTwips() const {
    if (placedAt_ && frameGeometry().topLeft() == *placedAt_) return placedLeftTwips_;
    return frameGeometry().x() * platform_.windows.TwipsPerPixelX();
}

double CWizard::TopTwips() const {
    if (placedAt_ && frameGeometry().topLeft() == *placedAt_) return placedTopTwips_;
    return frameGeometry().y() * platform_.windows.TwipsPerPixelY();
}

void CWizard::MoveTwips(double left, double top) {
    move(static_cast<int>(platform::nearest(left / platform_.windows.TwipsPerPixelX())),
         static_cast<int>(platform::nearest(top / platform_.windows.TwipsPerPixelY())));
    placedLeftTwips_ = left;
    placedTopTwips_ = top;
    placedAt_ = frameGeometry().topLeft();
}

bool CWizard::SwitchPage(std::int16_t from, std::int16_t to) {
    if (from >= 1) {
        bool cancel = false;
        PageAt(from)->BeforePageHide(*this, to, cancel);
        if (cancel) return false;
        QWidget* leaving = PageAt(from)->Form();
        if (!leaving) throw platform::PlatformError("the page being left has no window");
        leaving->setVisible(false);
    }

    PageEntry& entry = pages_.at(static_cast<std::size_t>(to - 1));
    if (!entry.Page) throw platform::PlatformError("no page at step " + std::to_string(to));
    currentPageForm_ = entry.Page->Load();  // naming a page's window loads it

    if (!entry.Hosted) {
        platform::WindowSystem& ws = platform_.windows;
        QWidget* hWnd = currentPageForm_;
        QWidget* hParent = picPage_;
        ws.SetWindowLong(hWnd, platform::GWL_STYLE, ws.GetWindowLong(hWnd, platform::GWL_STYLE) | platform::WS_CHILD);
        entry.SavedParent = ws.SetParent(hWnd, hParent);
        ws.SetWindowPos(hWnd, platform::HWND_TOP, 0, 0, 0, 0, platform::SWP_NOSIZE);
        entry.Hosted = true;
    }

    entry.Page->BeforePageShow(*this, from);
    currentPageForm_->setVisible(true);
    return true;
}

}  // namespace wizard
