// Message boxes and the event loop through Qt.
#include <cstdio>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "platform/ui/ui.h"

namespace platform {
namespace {

class QtUi final : public Ui {
public:
    Answer Show(const MessageBox& box) override {
        QMessageBox dialog(box.icon == Icon::Question ? QMessageBox::Question : QMessageBox::NoIcon,
                           QString::fromStdString(box.title), QString::fromStdString(box.text));
        if (box.buttons == Buttons::YesNo) {
            QPushButton* yes = dialog.addButton(QMessageBox::Yes);
            QPushButton* no = dialog.addButton(QMessageBox::No);
            dialog.setDefaultButton(box.defaultButton == Answer::No ? no : yes);
            dialog.setEscapeButton(no);
            dialog.exec();
            return dialog.clickedButton() == yes ? Answer::Yes : Answer::No;
        }
        dialog.setDefaultButton(dialog.addButton(QMessageBox::Ok));
        dialog.exec();
        return Answer::OK;
    }

    void DoEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }

    [[noreturn]] void End() override {
        std::fflush(nullptr);
        _exit(0);  // at once: no unload handler, no destructor, no further request
    }
};

}  // namespace

std::unique_ptr<Ui> makeQtUi() { return std::make_unique<QtUi>(); }

}  // namespace platform
