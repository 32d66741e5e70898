// vantrel-collect's entry: builds the system's services and runs the program.
#include <clocale>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "collect/collect.h"
#include "platform/console/console.h"

namespace {

// A password typed at a terminal is not shown.
void Echo(platform::Console& console, bool on) {
    if (!console.InputIsTerminal()) return;
    if (!on) console.Err() << "Password: " << std::flush;
    console.Echo(on);
    if (on) console.Err() << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    // Dates in the requests as the user's regional settings write them, as in the wizard.
    std::setlocale(LC_TIME, "");
    auto console = platform::makeSystemConsole();
    const std::vector<std::string> args = console->Arguments(argc, argv);
    try {
        auto registry = platform::makeSystemRegistry();
        auto instrumentation = platform::makeSystemInstrumentation();
        auto records = platform::makeHttpRecordSource();
        auto guids = platform::makeSystemGuidSource();
        auto network = platform::makeSystemNetwork();
        collect::Services services{*registry, *instrumentation, *records, *guids, *network};
        return collect::Main(args, services,
                             {console->In(), console->Out(), console->Err(), [&](bool on) { Echo(*console, on); }});
    } catch (const std::exception& e) {
        console->Err() << "vantrel-collect: " << e.what() << '\n';
        return collect::kNotComplete;
    }
}
