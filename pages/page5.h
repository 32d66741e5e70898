#pragma once
// The finish page (step 4). Unloading it opens the user's profile in the browser while Check2
// is ticked.
#include <array>

#include <QCheckBox>
#include <QLabel>
#include <QPointer>

#include <string>

#include "platform/shell/shell.h"
#include "wizard/page_form.h"

namespace pages {

class Page5 : public wizard::CPageForm {
public:
    Page5(platform::WindowSystem& windows, platform::Shell& shell, const std::string& serverPath);

    // The form's controls; null while the form is not loaded. Label1 has only index 1.
    std::array<QPointer<QLabel>, 2> Label1;
    QPointer<QCheckBox> Check2;

protected:
    void CreateControls(QWidget& form) override;
    void FormUnload() override;

private:
    platform::Shell& shell_;
    const std::string& serverPath_;  // the shared value, read when the page unloads
};

}  // namespace pages
