// Closing the wizard: the question, the teardown in list order, and a close during the run.
#include <algorithm>
#include <memory>

#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "tests/support/fakes.h"
#include "tests/wizard/engine/recording.h"
#include "wizard/cwizardcontroller.h"

namespace {

using enginetest::Log;
using enginetest::RecordingPage;
using wizard::CWizard;
using wizard::StepKey;

class Closing : public ::testing::Test {
protected:
    fakes::TestPlatform fake;
    Log log;
    std::vector<std::shared_ptr<RecordingPage>> pages;
    std::function<void(CWizard&)> audit = [](CWizard&) {};
    std::unique_ptr<wizard::CWizardController> controller;

    void SetUp() override {
        wizard::WizardParts parts;
        auto page = [this](const char* name) {
            return [this, name] {
                pages.push_back(std::make_shared<RecordingPage>(fake.windows, name, log));
                return std::static_pointer_cast<wizard::IWizardPage>(pages.back());
            };
        };
        parts.Page1 = page("P1");
        parts.Page2 = page("P2");
        parts.Page4 = page("P4");
        parts.Page5 = page("P5");
        parts.RunAudit = [this](CWizard& w) { audit(w); };
        controller = std::make_unique<wizard::CWizardController>(fake.get(), parts);
        log.clear();
    }
    CWizard& w() { return controller->WizardHandle(); }
};

TEST_F(Closing, TheControllerRegistersFourPagesUnderTheirKeysAndStarts) {
    EXPECT_EQ(w().StepCount(), 4);
    EXPECT_EQ(w().PageHandle(std::string("Two")), pages[1]);
    EXPECT_EQ(w().PageHandle(std::string("Five")), pages[3]);
    EXPECT_EQ(w().PageHandle(std::string("Three")), nullptr);
    EXPECT_EQ(w().ClientHandle(), controller.get());
    EXPECT_EQ(&controller->WizardHandle(), &w());
    EXPECT_EQ(w().CurrentStep(), 1);
    EXPECT_TRUE(w().isVisible());
}

TEST_F(Closing, ClosingBeforeTheLastPageAsksAndNoKeepsEverything) {
    w().Step(+1);
    for (int step = 2; step <= 3; ++step) {
        fake.ui.answers = {platform::Answer::No};
        EXPECT_FALSE(w().close());
        ASSERT_EQ(fake.ui.shown.size(), std::size_t(step - 1));
        const platform::MessageBox& box = fake.ui.shown.back();
        EXPECT_EQ(box.text, "Are you sure you want to cancel the wizard?");
        EXPECT_EQ(box.title, "Wizard");
        EXPECT_EQ(box.buttons, platform::Buttons::YesNo);
        EXPECT_EQ(box.icon, platform::Icon::Question);
        EXPECT_EQ(box.defaultButton, platform::Answer::Yes);
        EXPECT_TRUE(w().isVisible());
        EXPECT_EQ(w().CurrentStep(), step);
        EXPECT_TRUE(w().cmdStepBack()->isEnabled());
        EXPECT_EQ(w().ClientHandle(), controller.get());
        w().Step(+1);
    }
}

TEST_F(Closing, YesFinishesHostedPagesInListOrderAndCloses) {
    w().StepTo(std::string("Four"));  // hosts P1 and P4 only
    w().Step(-1);                     // and P2
    QSignalSpy closed(&w(), &CWizard::closed);
    log.clear();
    fake.ui.answers = {platform::Answer::Yes};
    EXPECT_TRUE(w().close());
    EXPECT_EQ(log, (Log{"P1.unload", "P2.unload", "P4.unload"}));
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(w().isVisible());
    EXPECT_EQ(w().ClientHandle(), nullptr);
    EXPECT_TRUE(w().Pages().empty());
    EXPECT_EQ(pages[3].use_count(), 1);  // never hosted, released with the list
}

TEST_F(Closing, TheLastPageClosesWithoutAQuestion) {
    w().StepTo(std::string("Five"));
    EXPECT_EQ(w().cmdTerminate()->text(), "Finish");
    w().cmdTerminate()->click();
    EXPECT_TRUE(fake.ui.shown.empty());
    EXPECT_FALSE(w().isVisible());
    EXPECT_EQ(w().FocusReturnHandle(), w().cmdTerminate());
}

TEST_F(Closing, ACloseConfirmedDuringTheRunWaitsForTheStepToEnd) {
    bool stillOpenDuringRun = false;
    bool pageAliveAfterClose = false;
    audit = [&](CWizard& wiz) {
        fake.ui.answers = {platform::Answer::Yes};
        wiz.close();
        stillOpenDuringRun = wiz.isVisible() && wiz.CloseRequested();
        pageAliveAfterClose = wiz.CurrentPageForm() != nullptr;
        wiz.close();  // a second request while waiting asks nothing more
    };
    QSignalSpy closed(&w(), &CWizard::closed);
    w().Step(+1);
    w().Step(+1);
    EXPECT_TRUE(stillOpenDuringRun);
    EXPECT_TRUE(pageAliveAfterClose);
    EXPECT_EQ(fake.ui.shown.size(), 1u);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(w().isVisible());
    EXPECT_TRUE(w().Pages().empty());
}

TEST_F(Closing, DetachingTheControllerFinishesAndALaterCloseAsksNobody) {
    w().SetClientHandle(nullptr);
    EXPECT_TRUE(std::find(log.begin(), log.end(), "P1.unload") != log.end());
    EXPECT_TRUE(w().close());
    EXPECT_TRUE(fake.ui.shown.empty());
}

}  // namespace
