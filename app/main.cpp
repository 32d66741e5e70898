// The process's entry: builds the platform's services and runs program start.
#include <cstdio>
#include <exception>

#include <QApplication>

#include "app/program.h"
#include "platform/platform.h"
#include "platform/ui/ui.h"
#include "wizard/cwizard.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(platform::kApplicationTitle);
    QApplication::setApplicationDisplayName(platform::kApplicationTitle);

    auto registry = platform::makeSystemRegistry();
    auto instrumentation = platform::makeSystemInstrumentation();
    auto records = platform::makeHttpRecordSource();
    auto shell = platform::makeSystemShell();
    auto guids = platform::makeSystemGuidSource();
    auto network = platform::makeSystemNetwork();
    auto ui = platform::makeQtUi();
    auto windows = platform::makeQtWindowSystem();
    platform::Platform services{*registry, *instrumentation, *records, *shell, *guids, *network, *ui, *windows};

    app::Program program(services);
    try {
        program.Start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantrel-collector: the wizard could not be created: %s\n", e.what());
        return 1;
    }
    if (!program.Controller()) return 0;  // the service refused this version

    QObject::connect(&program.Controller()->WizardHandle(), &wizard::CWizard::closed, &application,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    return application.exec();
}
