// The terminal's streams as they are: Linux consoles speak UTF-8 (the locale's concern, not ours).
#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/console/console.h"

namespace platform {
namespace {

class LinuxConsole final : public Console {
public:
    std::istream& In() override { return std::cin; }
    std::ostream& Out() override { return std::cout; }
    std::ostream& Err() override { return std::cerr; }
    std::vector<std::string> Arguments(int argc, char** argv) override {
        return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
    }
    bool InputIsTerminal() override { return isatty(STDIN_FILENO) == 1; }
    void Echo(bool on) override {
        termios mode{};
        if (!InputIsTerminal() || tcgetattr(STDIN_FILENO, &mode) != 0) return;
        if (on)
            mode.c_lflag |= ECHO;
        else
            mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &mode);
    }
};

}  // namespace

std::unique_ptr<Console> makeSystemConsole() { return std::make_unique<LinuxConsole>(); }

}  // namespace platform
