#pragma once
// The welcome page (step 1).
#include <array>

#include <QLabel>
#include <QPointer>

#include "wizard/page_form.h"

namespace pages {

class Page1 : public wizard::CPageForm {
public:
    explicit Page1(platform::WindowSystem& windows);

    // The form's controls; null while the form is not loaded.
    std::array<QPointer<QLabel>, 2> Label1;
    QPointer<QLabel> Label2;  // the title
    QPointer<QLabel> Label3;

protected:
    void CreateControls(QWidget& form) override;
};

}  // namespace pages
