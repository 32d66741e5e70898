#include "pages/page5.h"

#include "pages/controls.h"
#include "pages/texts.h"
#include "wizard/controls.h"
#include "client/service.h"

namespace pages {

Page5::Page5(platform::WindowSystem& windows, platform::Shell& shell, const std::string& serverPath)
    : CPageForm(windows), shell_(shell), serverPath_(serverPath) {}

void Page5::CreateControls(QWidget& form) {
    const QString text = QString::fromStdString(service::AroundSiteAddress(texts::kFinishBefore, texts::kFinishAfter));
    Label1[1] = wizard::MakeLabel(form, "Label1_1", text, Twips(120, 240, 4125, 780));

    auto* check = new WrappingCheckBox(QString::fromUtf8(texts::kFinishCheck), &form);
    check->setObjectName("Check2");
    check->setGeometry(Twips(240, 1800, 3615, 495));
    check->setChecked(true);
    Check2 = check;

    QWidget::setTabOrder(Label1[1], Check2);
}

void Page5::FormUnload() {
    if (!Check2 || !Check2->isChecked()) return;
    // A base path without scheme and host has no profile page to show.
    const auto address = service::ProfileAddress(serverPath_);
    if (!address) return;
    service::OpenInBrowser(shell_, *address, texts::kOpenVerb, Form());
}

}  // namespace pages
