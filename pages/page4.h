#pragma once
// The progress page (step 3). The collection run writes its progress into Label2, which it finds
// by that object name on the wizard's current page.
#include <array>

#include <QLabel>
#include <QPointer>

#include "wizard/page_form.h"

namespace pages {

// The progress line's object name, by which the collection run finds it.
inline constexpr const char* kProgressLabel = "Label2";

class Page4 : public wizard::CPageForm {
public:
    explicit Page4(platform::WindowSystem& windows);

    // The form's controls; null while the form is not loaded.
    std::array<QPointer<QLabel>, 1> Label1;
    QPointer<QLabel> Label2;  // the progress line

protected:
    void CreateControls(QWidget& form) override;
};

}  // namespace pages
