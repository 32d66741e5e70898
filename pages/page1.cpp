#include "pages/page1.h"

#include "pages/controls.h"
#include "pages/texts.h"
#include "wizard/controls.h"

namespace pages {

Page1::Page1(platform::WindowSystem& windows) : CPageForm(windows) {}

void Page1::CreateControls(QWidget& form) {
    Label2 = wizard::MakeLabel(form, "Label2", texts::kWelcomeTitle, Twips(120, 240, 3015, 255));
    Label2->setFont(TitleFont());
    Label1[0] = wizard::MakeLabel(form, "Label1", texts::kWelcomeIntro, Twips(120, 600, 4215, 735));
    Label3 = wizard::MakeLabel(form, "Label3", texts::kWelcomeAdvice, Twips(120, 1320, 3615, 495));
    Label1[1] = wizard::MakeLabel(form, "Label1_1", texts::kWelcomeContinue, Twips(120, 1920, 4125, 225));

    QWidget::setTabOrder(Label2, Label1[0]);
    QWidget::setTabOrder(Label1[0], Label3);
    QWidget::setTabOrder(Label3, Label1[1]);
}

}  // namespace pages
