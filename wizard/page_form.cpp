#include "wizard/page_form.h"

#include "platform/common/numbers.h"

namespace wizard {

CPageForm::~CPageForm() {
    delete form_.data();  // a form still loaded when the page object goes
}

QRect CPageForm::Twips(int left, int top, int width, int height) const {
    const double tx = windows_.TwipsPerPixelX();
    const double ty = windows_.TwipsPerPixelY();
    return QRect(static_cast<int>(platform::nearest(left / tx)), static_cast<int>(platform::nearest(top / ty)),
                 static_cast<int>(platform::nearest(width / tx)), static_cast<int>(platform::nearest(height / ty)));
}

QWidget* CPageForm::Load() {
    if (form_) return form_;
    auto* form = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
    const QRect size = Twips(0, 0, kPageWidthTwips, kPageHeightTwips);
    form->resize(size.width(), size.height());
    form->setFocusPolicy(Qt::StrongFocus);
    form_ = form;
    CreateControls(*form);
    return form_;
}

void CPageForm::Unload() {
    if (!form_) return;
    FormUnload();
    delete form_.data();
}

}  // namespace wizard
