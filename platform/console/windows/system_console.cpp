// The console of a Windows process: arguments from the wide command line, standard streams
// through the UTF-16 stream buffers, echo through the console's input mode.
#include "platform/console/windows/system_console.h"

#include <istream>
#include <ostream>

#include <shellapi.h>

#include "platform/common/windows/wide.h"
#include "platform/console/windows/console_streams.h"

namespace platform {
namespace {

class WindowsConsole final : public Console {
public:
    WindowsConsole(HANDLE in, HANDLE out, HANDLE err)
        : in_(in), inBuffer_(in), outBuffer_(out), errBuffer_(err), input_(&inBuffer_), output_(&outBuffer_),
          errors_(&errBuffer_) {
        errors_.setf(std::ios::unitbuf);
    }
    ~WindowsConsole() override {
        output_.flush();
        errors_.flush();
    }

    std::istream& In() override { return input_; }
    std::ostream& Out() override { return output_; }
    std::ostream& Err() override { return errors_; }

    // argv is in the ANSI code page, which cannot hold every name; the wide command line can.
    std::vector<std::string> Arguments(int argc, char** argv) override {
        int count = 0;
        LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
        if (!wide) return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) args.push_back(win::Narrow(wide[i], wcslen(wide[i])));
        LocalFree(wide);
        return args;
    }

    bool InputIsTerminal() override {
        DWORD mode = 0;
        return GetConsoleMode(in_, &mode);
    }

    void Echo(bool on) override {
        DWORD mode = 0;
        if (!GetConsoleMode(in_, &mode)) return;
        SetConsoleMode(in_, on ? (mode | ENABLE_ECHO_INPUT) : (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)));
    }

private:
    HANDLE in_;
    win::ConsoleInput inBuffer_;
    win::ConsoleOutput outBuffer_, errBuffer_;
    std::istream input_;
    std::ostream output_, errors_;
};

}  // namespace

std::unique_ptr<Console> makeConsoleOver(HANDLE in, HANDLE out, HANDLE err) {
    return std::make_unique<WindowsConsole>(in, out, err);
}

std::unique_ptr<Console> makeSystemConsole() {
    return makeConsoleOver(GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                           GetStdHandle(STD_ERROR_HANDLE));
}

}  // namespace platform
