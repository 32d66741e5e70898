// A whole collection run against the reference service: the machine's packages and hardware
// uploaded item by item through the real client, the real wizard and a real database.
// Prints the run's time and its items per second for uninstall lists of several sizes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>

#include "dataservice/server.h"
#include "app/wizard_run.h"
#include "collect/collect.h"
#include "dataservice/store/store.h"
#include "pages/page1.h"
#include "pages/page4.h"
#include "pages/page5.h"
#include "platform/instrumentation/linux/system_instrumentation.h"
#include "platform/registry/linux/system_registry.h"
#include "platform/platform.h"
#include "client/service.h"
#include "session/session.h"
#include "tests/support/scratch_dir.h"
#include "wizard/cwizardcontroller.h"

namespace {

// A machine tree whose package database lists `packages` installed packages.
struct Machine {
    ScratchDir dir{"bench-run"};
    const std::filesystem::path& root = dir.path();
    explicit Machine(int packages) {
        std::filesystem::create_directories(root / "var/lib/dpkg");
        std::ofstream status(root / "var/lib/dpkg/status");
        for (int i = 0; i < packages; ++i)
            status << "Package: pkg" << i << "\nStatus: install ok installed\nVersion: 1." << i << "-1\n\n";
    }
};

// Waits long enough for a service slowed by valgrind: its account check alone outlasts the
// brief wait there. The figures are processor time, never time-outs.
platform::HttpWaits PatientWaits() {
    platform::HttpWaits waits;
    waits.briefMs = waits.requestMs = 600'000;
    return waits;
}

// Counts the paints of the wizard's window (its own paint event comes with every paint of a
// region it holds, the progress line's included).
class PaintCounter : public QObject {
public:
    long paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

class QuietUi : public platform::Ui {
public:
    platform::Answer Show(const platform::MessageBox&) override { return platform::Answer::OK; }
    void DoEvents() override { QCoreApplication::processEvents(); }
    [[noreturn]] void End() override { std::abort(); }
};

void BM_CollectionRun(benchmark::State& state) {
    const int packages = static_cast<int>(state.range(0));
    Machine machine(packages);
    const std::filesystem::path db = machine.root / "service.db";
    dataservice::Store store(db.string());
    store.profiles().addAccount("bench", "secret");
    dataservice::Server server(store);
    server.start();

    platform::SystemRegistry registry("/nonexistent.reg", machine.root.string());
    auto instrumentation = platform::makeInstrumentationAt(machine.root.string());
    auto records = platform::makeHttpRecordSource(PatientWaits());
    auto shell = platform::makeSystemShell();
    auto guids = platform::makeSystemGuidSource();
    auto network = platform::makeSystemNetwork();
    QuietUi ui;
    auto windows = platform::makeQtWindowSystem();
    platform::Platform p{registry, *instrumentation, *records, *shell, *guids, *network, ui, *windows};

    session::Session session({registry, *instrumentation, *records, *guids, *network});
    session::State& shared = session.Values();
    shared.ServerPath = server.address();
    shared.UserName = "bench";
    shared.UserPassword = "secret";
    wizard::IWizardController* controllerHandle = nullptr;

    wizard::WizardParts parts;
    parts.Page1 = [&] { return std::make_shared<pages::Page1>(p.windows); };
    parts.Page2 = [&] { return std::make_shared<pages::Page1>(p.windows); };
    parts.Page4 = [&] { return std::make_shared<pages::Page4>(p.windows); };
    parts.Page5 = [&] { return std::make_shared<pages::Page5>(p.windows, p.shell, shared.ServerPath); };
    parts.RunAudit = app::WizardRun(p, controllerHandle, session);
    wizard::CWizardController controller(p, parts);
    controllerHandle = &controller;
    wizard::CWizard& w = controller.WizardHandle();
    PaintCounter counter;
    w.installEventFilter(&counter);

    for (auto _ : state) {
        w.StepTo(std::string("Four"));  // reaching the progress page runs the whole collection
        state.PauseTiming();
        w.StepTo(std::string("One"));
        state.ResumeTiming();
    }
    w.removeEventFilter(&counter);
    state.counters["paints/run"] = static_cast<double>(counter.paints) / static_cast<double>(state.iterations());
    state.counters["items/s"] =
        benchmark::Counter(static_cast<double>(packages) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    controllerHandle = nullptr;
    server.stop();
}
BENCHMARK(BM_CollectionRun)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same run made by vantrel-collect (its whole program after start: version check, account
// check, run), against the same service, machine and client.
void BM_UnattendedRun(benchmark::State& state) {
    const int packages = static_cast<int>(state.range(0));
    Machine machine(packages);
    const std::filesystem::path db = machine.root / "service.db";
    dataservice::Store store(db.string());
    store.profiles().addAccount("bench", "secret");
    dataservice::Server server(store);
    server.start();

    platform::SystemRegistry registry("/nonexistent.reg", machine.root.string());
    auto instrumentation = platform::makeInstrumentationAt(machine.root.string());
    auto records = platform::makeHttpRecordSource(PatientWaits());
    auto guids = platform::makeSystemGuidSource();
    auto network = platform::makeSystemNetwork();
    collect::Services services{registry, *instrumentation, *records, *guids, *network};
    const std::vector<std::string> args{"--user", "bench", "--server", server.address(), "--quiet"};

    for (auto _ : state) {
        std::istringstream in("secret\n");
        std::ostringstream out, err;
        if (collect::Main(args, services, {in, out, err}) != collect::kComplete) {
            state.SkipWithError(("the run did not complete: " + err.str() + out.str()).c_str());
            break;
        }
    }
    state.counters["items/s"] =
        benchmark::Counter(static_cast<double>(packages) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    server.stop();
}
BENCHMARK(BM_UnattendedRun)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
