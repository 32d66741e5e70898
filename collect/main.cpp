// vantrel-collect's entry: builds the system's services and runs the program.
#include <clocale>
#include <cwchar>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "collect/collect.h"

// TODO(platform): the terminal's echo and the command line's UTF-8 arguments belong in a console
// service of the platform layer (platform/console/ with linux/ and windows/ backends); until it
// exists, the two system branches stay here.
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "platform/common/windows/wide.h"
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// A password typed at a terminal is not shown.
void Echo(bool on) {
#ifdef _WIN32
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode)) return;  // not a console
    if (!on) std::cerr << "Password: " << std::flush;
    SetConsoleMode(in, on ? (mode | ENABLE_ECHO_INPUT) : (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)));
#else
    if (!isatty(STDIN_FILENO)) return;
    termios mode{};
    if (tcgetattr(STDIN_FILENO, &mode) != 0) return;
    if (!on) std::cerr << "Password: " << std::flush;
    if (on) mode.c_lflag |= ECHO; else mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &mode);
#endif
    if (on) std::cerr << '\n';
}

// The arguments as UTF-8: on Windows argv is in the ANSI code page, which cannot hold every name.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) args.push_back(platform::win::Narrow(wide[i], std::wcslen(wide[i])));
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
    // Dates in the requests as the user's regional settings write them, as in the wizard.
    std::setlocale(LC_TIME, "");
    const std::vector<std::string> args = Arguments(argc, argv);
    try {
        auto registry = platform::makeSystemRegistry();
        auto instrumentation = platform::makeSystemInstrumentation();
        auto records = platform::makeHttpRecordSource();
        auto guids = platform::makeSystemGuidSource();
        auto network = platform::makeSystemNetwork();
        collect::Services services{*registry, *instrumentation, *records, *guids, *network};
        return collect::Main(args, services, {std::cin, std::cout, std::cerr, Echo});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantrel-collect: %s\n", e.what());
        return collect::kNotComplete;
    }
}
