#pragma once
// Message boxes, pending window messages, and the program's immediate end.
#include <memory>
#include <string>

namespace platform {

inline constexpr const char* kApplicationTitle = "Vantrel Collector";

enum class Buttons { OK, YesNo };
enum class Icon { None, Question };
enum class Answer { OK, Yes, No };

struct MessageBox {
    std::string text;
    std::string title = kApplicationTitle;  // a box without a title of its own shows the application's
    Buttons buttons = Buttons::OK;
    Icon icon = Icon::None;
    Answer defaultButton = Answer::OK;
};

class Ui {
public:
    virtual ~Ui() = default;
    // Shows the box modally and returns the user's answer.
    virtual Answer Show(const MessageBox& box) = 0;
    // Processes all pending window messages, then returns.
    virtual void DoEvents() = 0;
    // Ends the program at once: no unload handler, no further request runs.
    [[noreturn]] virtual void End() = 0;
};

// Qt message boxes; End leaves the process immediately.
std::unique_ptr<Ui> makeQtUi();

}  // namespace platform
