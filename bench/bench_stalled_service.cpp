// What a stalled or failing service costs the user, through the real HTTP source: the version
// check before the window appears, then a run's series of 1,000 requests made back to back as
// the collection run makes them. Prints the times, and the longest single request, which bounds
// how long an Esc waits for its answer during the run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/common/errors.h"
#include "platform/recordset/recordset.h"
#include "tests/support/fault_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void Measure(const char* name, faults::Behaviour behaviour, int items) {
    faults::FaultServer server(behaviour);
    auto source = platform::makeHttpRecordSource();
    auto timed = [&](auto&& request) {
        const auto start = Clock::now();
        try {
            request();
        } catch (const platform::PlatformError&) {
        }
        return Clock::now() - start;
    };
    const auto windowUp = timed([&] { source->OpenBriefly(server.Base() + "getversion.asp?Major=1&Minor=1&Rev=11"); });
    const auto registration = timed([&] { source->Open(server.Base() + "gettemp.asp?TempID=Eval12345"); });
    Clock::duration longest{};
    const auto runStart = Clock::now();
    for (int i = 0; i < items; ++i)
        longest = std::max(longest, timed([&] { source->Open(server.Base() + "evalsftdata.asp?UID=Eval12345&qIS=p" +
                                                             std::to_string(i)); }));
    const auto run = Clock::now() - runStart;
    std::printf("%-28s window up after %6.2f s   registration %6.2f s   run of %d items %7.2f s   "
                "longest request (Esc latency bound) %6.2f s   requests received %zu\n",
                name, Seconds(windowUp), Seconds(registration), items, Seconds(run), Seconds(longest),
                server.Received().size());
}

}  // namespace

int main(int argc, char** argv) {
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    const int items = argc > 1 ? std::atoi(argv[1]) : 1000;
    Measure("silent service", faults::Behaviour::Silent, items);
    Measure("closes every connection", faults::Behaviour::CloseAtOnce, items);
    Measure("dead (nothing listens)", faults::Behaviour::Down, items);
    Measure("answering service", faults::Behaviour::Answer, items);
    return 0;
}
