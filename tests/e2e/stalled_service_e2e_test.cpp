// The whole collector against a service that stalls or fails: the wizard comes up, the run over
// the laptop fixture machine ends and says that the upload did not complete, and Cancel is
// answered during a stalled run. Generous bounds only, to show that no request waits out a
// minute; bench_stalled_service prints the figures.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/program.h"
#include "platform/instrumentation/linux/system_instrumentation.h"
#include "signin/page2.h"
#include "tests/support/fakes.h"
#include "tests/support/fault_server.h"
#include "wizard/cwizard.h"

namespace {

using faults::Behaviour;
using Clock = std::chrono::steady_clock;

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr int kPrograms = 40;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class CollectorAgainstFaultyService : public ::testing::Test {
protected:
    fakes::TestPlatform fake;
    std::unique_ptr<faults::FaultServer> server;
    std::unique_ptr<platform::RecordSource> records;
    std::unique_ptr<platform::Instrumentation> instrumentation;
    std::unique_ptr<platform::Platform> bundle;
    std::unique_ptr<app::Program> program;
    double startSeconds = 0;

    void StartAgainst(Behaviour behaviour) {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        server = std::make_unique<faults::FaultServer>(behaviour);
        records = platform::makeHttpRecordSource();
        instrumentation = platform::makeInstrumentationAt(std::string(VANTREL_FIXTURES_DIR) + "/machines/laptop");
        bundle = std::make_unique<platform::Platform>(platform::Platform{fake.registry, *instrumentation, *records,
                                                                         fake.shell, fake.guids, fake.network,
                                                                         fake.ui, fake.windows});
        fake.registry.SetString("Software\\Vantrel", "ServerPath", server->Base());
        for (int i = 0; i < kPrograms; ++i) {
            const std::string name = "program" + std::to_string(100 + i);
            fake.registry.AddSubkey(kUninstall, name);
            fake.registry.SetString(std::string(kUninstall) + "\\" + name, "DisplayName", name);
        }
        program = std::make_unique<app::Program>(*bundle);
        const auto start = Clock::now();
        program->Start();
        startSeconds = SecondsSince(start);
        ASSERT_NE(program->Controller(), nullptr);
    }

    void TearDown() override {
        program.reset();
        records.reset();
        server.reset();
    }

    wizard::CWizard& W() { return program->Controller()->WizardHandle(); }

    std::string Progress() {
        QWidget* form = W().CurrentPageForm();
        auto* label = form ? form->findChild<QLabel*>("Label2") : nullptr;
        return label ? label->text().toStdString() : "<none>";
    }

    void ToSignInAsEvaluating() {
        W().cmdStepFwd()->click();
        ASSERT_EQ(W().CurrentStep(), 2);
        auto* page = dynamic_cast<signin::Page2*>(W().PageHandle(std::string("Two")).get());
        ASSERT_NE(page, nullptr);
        page->Option1(1)->click();
    }
};

TEST_F(CollectorAgainstFaultyService, ASilentServiceStillGetsTheWindowUpAndTheRunEndsSayingSo) {
    ASSERT_NO_FATAL_FAILURE(StartAgainst(Behaviour::Silent));
    EXPECT_LT(startSeconds, 10.0);  // once a minute
    EXPECT_TRUE(W().isVisible());

    ASSERT_NO_FATAL_FAILURE(ToSignInAsEvaluating());
    const auto run = Clock::now();
    W().cmdStepFwd()->click();  // the registration, then the run
    EXPECT_LT(SecondsSince(run), 90.0);  // once (items + 3) minutes
    ASSERT_EQ(W().CurrentStep(), 3);
    const std::string evalId = program->State().EvalID;
    EXPECT_THAT(Progress(), testing::StartsWith("The Hardware and Software Collection Is Not Complete. The upload "
                                                "did not complete: "));
    EXPECT_THAT(Progress(), testing::HasSubstr("Your evaluation Username could not be registered"));
    EXPECT_THAT(Progress(), testing::Not(testing::HasSubstr(evalId)));
    // Every request was still made.
    EXPECT_GE(server->Received().size(), static_cast<std::size_t>(kPrograms + 3));
}

TEST_F(CollectorAgainstFaultyService, AServiceThatClosesEveryConnectionEndsInAFailureToldAsSuch) {
    ASSERT_NO_FATAL_FAILURE(StartAgainst(Behaviour::CloseAtOnce));
    EXPECT_LT(startSeconds, 10.0);
    ASSERT_NO_FATAL_FAILURE(ToSignInAsEvaluating());
    W().cmdStepFwd()->click();
    ASSERT_EQ(W().CurrentStep(), 3);
    EXPECT_THAT(Progress(), testing::StartsWith("The Hardware and Software Collection Is Not Complete."));
}

TEST_F(CollectorAgainstFaultyService, CancelIsAnsweredDuringAStalledRun) {
    ASSERT_NO_FATAL_FAILURE(StartAgainst(Behaviour::Silent));
    ASSERT_NO_FATAL_FAILURE(ToSignInAsEvaluating());
    QSignalSpy closed(&W(), &wizard::CWizard::closed);
    // Cancel pressed a few items into the run, answered Yes.
    Clock::time_point pressed{};
    double answeredAfter = -1;
    fake.ui.onDoEvents = [&] {
        if (fake.ui.doEventsCalls == 5) {
            pressed = Clock::now();
            W().cmdTerminate()->click();
            answeredAfter = SecondsSince(pressed);
        }
    };
    const auto run = Clock::now();
    W().cmdStepFwd()->click();
    EXPECT_GE(answeredAfter, 0.0);
    EXPECT_LT(SecondsSince(run), 30.0);
    EXPECT_EQ(closed.count(), 1);
    ASSERT_FALSE(fake.ui.shown.empty());
    EXPECT_EQ(fake.ui.shown.back().text, "Are you sure you want to cancel the wizard?");
}

}  // namespace
