#include "pages/page4.h"

#include "pages/controls.h"
#include "pages/texts.h"
#include "wizard/controls.h"
#include "client/service.h"

namespace pages {

Page4::Page4(platform::WindowSystem& windows) : CPageForm(windows) {}

void Page4::CreateControls(QWidget& form) {
    const QString intro =
        QString::fromStdString(service::AroundSiteAddress(texts::kProgressIntroBefore, texts::kProgressIntroAfter));
    Label1[0] = wizard::MakeLabel(form, "Label1", intro, Twips(120, 240, 4005, 930));
    Label2 = wizard::MakeLabel(form, kProgressLabel, texts::kProgressFirstStatus, Twips(120, 1680, 4215, 1095));
    // Its box never changes; fixed, a new text does not ask the form to lay out again (an event
    // posted, and the event loop woken, at every item of the run).
    Label2->setFixedSize(Label2->size());
    // An evaluating user is asked to write the username down: it can be selected and copied.
    Label2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QWidget::setTabOrder(Label1[0], Label2);
}

}  // namespace pages
