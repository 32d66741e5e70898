// The engine: step keys, steps and their refusals, redirection, start, freezing and teardown.
#include <algorithm>
#include <memory>

#include <QPushButton>
#include <gtest/gtest.h>

#include "tests/support/fakes.h"
#include "tests/wizard/engine/recording.h"
#include "wizard/cwizard.h"

namespace {

using enginetest::Log;
using enginetest::RecordingController;
using enginetest::RecordingPage;
using wizard::CWizard;
using wizard::StepKey;

StepKey text(const char* s) { return std::string(s); }

class Engine : public ::testing::Test {
protected:
    fakes::TestPlatform fake;
    Log log;
    std::unique_ptr<CWizard> w = std::make_unique<CWizard>(fake.get());
    RecordingController controller{*w, log};
    std::vector<std::shared_ptr<RecordingPage>> pages;
    int audits = 0;

    void Register(int count = 4) {
        const char* keys[] = {"One", "Two", "Four", "Five", "Six"};
        w->SetClientHandle(&controller);
        w->SetAuditRoutine([this](CWizard&) { ++audits; log.push_back("RunAudit"); });
        for (int i = 0; i < count; ++i) {
            pages.push_back(std::make_shared<RecordingPage>(fake.windows, std::string("P") + std::to_string(i + 1), log));
            w->AddPage(pages.back(), text(keys[i]));
        }
    }
    void Started(int count = 4) {
        Register(count);
        w->Start();
        log.clear();
    }
    bool has(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
};

TEST_F(Engine, BeforeAnyPageIsAddedTheCountsAreMinusOne) {
    EXPECT_EQ(w->StepCount(), -1);
    EXPECT_EQ(w->CurrentStep(), -1);
    EXPECT_EQ(w->LastStep(), -1);
    EXPECT_EQ(w->NextStep(), -1);
    EXPECT_FALSE(w->FinishedLoading());
}

TEST_F(Engine, StartShowsTheFirstPageAndMakesTheWindowVisible) {
    Register();
    w->Start();
    EXPECT_EQ(w->CurrentStep(), 1);
    EXPECT_EQ(w->LastStep(), 0);
    EXPECT_EQ(w->NextStep(), -1);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->FinishedLoading());
    EXPECT_EQ(log, (Log{"BeforeStep(1)", "P1.load", "P1.show(0)", "AfterStep"}));  // no hide on the first step
    EXPECT_FALSE(w->cmdStepBack()->isEnabled());
    EXPECT_EQ(w->CurrentPageForm(), pages[0]->Form());
}

TEST_F(Engine, StartWithoutPagesOrASecondTimeDoesNothing) {
    w->Start();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->FinishedLoading());

    Started();
    w->Step(+1);
    w->Start();
    EXPECT_EQ(w->CurrentStep(), 2);
    EXPECT_TRUE(log.size() > 0 && !has("BeforeStep(0)"));
}

TEST_F(Engine, StartWithAKeyThatResolvesNowhereLeavesTheWindowHidden) {
    Register();
    w->Start(text("Nine"));
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->FinishedLoading());
    w->Start(text("Two"));
    EXPECT_EQ(w->CurrentStep(), 2);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(Engine, StepsOutsideTheListOrOfOtherSizesChangeNothing) {
    Started();
    w->Step(-1);
    w->Step(2);
    w->Step(-2);
    EXPECT_EQ(w->CurrentStep(), 1);
    EXPECT_TRUE(log.empty());

    w->StepTo(text("Five"));
    log.clear();
    w->Step(+1);
    EXPECT_EQ(w->CurrentStep(), 4);
    EXPECT_TRUE(log.empty());
}

TEST_F(Engine, StepToAKeyGoesDirectlyWithDirectionZeroAndRunsTheCollectionOnStepThree) {
    Started();
    w->StepTo(text("Four"));
    EXPECT_EQ(w->CurrentStep(), 3);
    EXPECT_EQ(w->LastStep(), 1);
    EXPECT_EQ(audits, 1);
    EXPECT_EQ(log, (Log{"BeforeStep(0)", "P1.hide(3)", "P3.load", "P3.show(1)", "RunAudit", "AfterStep"}));
}

TEST_F(Engine, KeysAreCaseSensitiveTextsAndTextsThatReadAsNumbersArePositions) {
    Started();
    for (StepKey key : {text("four"), StepKey(0.0), StepKey(5.0), text(""), StepKey(std::monostate{}), text("Four ")}) {
        w->StepTo(key);
        EXPECT_EQ(w->CurrentStep(), 1);
    }
    EXPECT_TRUE(log.empty());
    w->StepTo(text(" 3 "));
    EXPECT_EQ(w->CurrentStep(), 3);
    w->StepTo(text("2e0"));
    EXPECT_EQ(w->CurrentStep(), 2);
}

TEST_F(Engine, NumericKeysRoundHalvesToEvenAndStayInSixteenBits) {
    Started();
    w->StepTo(StepKey(2.5));
    EXPECT_EQ(w->CurrentStep(), 2);
    w->StepTo(StepKey(3.5));
    EXPECT_EQ(w->CurrentStep(), 4);
    w->StepTo(StepKey(1.4));
    EXPECT_EQ(w->CurrentStep(), 1);
    w->StepTo(StepKey(65537.0));  // wraps to 1 if truncated to 16 bits: must not
    w->StepTo(text("65538"));
    EXPECT_EQ(w->CurrentStep(), 1);
    EXPECT_EQ(w->PageHandle(StepKey(0.5)), nullptr);  // rounds to 0
}

TEST_F(Engine, AddPageIgnoresADuplicateTextKeyButAlwaysAppendsOthers) {
    Register();
    w->AddPage(std::make_shared<RecordingPage>(fake.windows, "dup", log), text("Two"));
    EXPECT_EQ(w->StepCount(), 4);
    w->AddPage(std::make_shared<RecordingPage>(fake.windows, "nokey", log), StepKey{});
    w->AddPage(std::make_shared<RecordingPage>(fake.windows, "seven", log), StepKey(7.0));
    w->AddPage(std::make_shared<RecordingPage>(fake.windows, "seven2", log), StepKey(7.0));
    w->AddPage(std::make_shared<RecordingPage>(fake.windows, "empty", log), text(""));
    EXPECT_EQ(w->StepCount(), 8);
    EXPECT_EQ(w->PageHandle(text("Two")), pages[1]);
    EXPECT_EQ(w->PageHandle(text("Three")), nullptr);
    EXPECT_EQ(w->PageHandle(StepKey(4.0)), pages[3]);
}

TEST_F(Engine, ARefusedStepLeavesEverythingAndNextStepHoldsTheTarget) {
    Started();
    w->Step(+1);
    const bool backEnabled = w->cmdStepBack()->isEnabled();
    log.clear();

    controller.cancelStep = true;
    w->Step(+1);
    EXPECT_EQ(w->CurrentStep(), 2);
    EXPECT_EQ(w->LastStep(), 1);
    EXPECT_EQ(w->NextStep(), 3);
    EXPECT_EQ(log, (Log{"BeforeStep(1)"}));
    EXPECT_EQ(w->cmdStepBack()->isEnabled(), backEnabled);

    controller.cancelStep = false;
    pages[1]->refuseHide = true;
    log.clear();
    w->Step(-1);
    EXPECT_EQ(w->CurrentStep(), 2);
    EXPECT_EQ(w->NextStep(), 1);
    EXPECT_TRUE(pages[1]->Form()->isVisible());
    EXPECT_EQ(log, (Log{"BeforeStep(-1)", "P2.hide(1)"}));
    EXPECT_EQ(w->CurrentPageForm(), pages[1]->Form());
}

TEST_F(Engine, NextStepWritesCountOnlyInsideAStepWhereTheyRedirectIt) {
    Started();
    w->SetNextStep(text("Five"));
    EXPECT_EQ(w->NextStep(), -1);

    controller.duringBeforeStep = [this] { w->SetNextStep(text("Five")); };
    w->Step(+1);
    EXPECT_EQ(w->CurrentStep(), 4);
    EXPECT_EQ(w->LastStep(), 1);
    EXPECT_EQ(audits, 0);
    EXPECT_TRUE(has("P4.show(1)"));
}

TEST_F(Engine, CurrentStepWriteMovesThereOutsideASteps) {
    Started();
    w->SetCurrentStep(text("Five"));
    EXPECT_EQ(w->CurrentStep(), 4);
    controller.duringBeforeStep = [this] { w->SetCurrentStep(text("One")); };
    w->Step(-1);
    EXPECT_EQ(w->CurrentStep(), 3);  // the write inside the step was ignored
}

TEST_F(Engine, FailuresInsideGuardedCallsDoNotStopTheStep) {
    Started();
    controller.failBeforeStep = true;
    w->Step(+1);
    EXPECT_EQ(w->CurrentStep(), 2);  // a failed BeforeStep counts as not cancelled

    controller.failBeforeStep = false;
    pages[2]->failShow = true;
    log.clear();
    w->Step(+1);
    // The failure in the switch counts as a completed switch: the step and the run go on.
    EXPECT_EQ(w->CurrentStep(), 3);
    EXPECT_EQ(w->LastStep(), 2);
    EXPECT_EQ(audits, 1);
    EXPECT_TRUE(has("AfterStep"));
    EXPECT_FALSE(w->StepInProgress());
}

TEST_F(Engine, StepsAreRefusedWhileOneIsInProgress) {
    Started();
    w->SetAuditRoutine([this](CWizard& wiz) {
        wiz.Step(+1);
        wiz.StepTo(text("One"));
        wiz.SetCurrentStep(text("One"));
        wiz.SetClientHandle(nullptr);
        wiz.finish();
        wiz.TransferFocus();
        EXPECT_TRUE(wiz.StepInProgress());
        EXPECT_EQ(wiz.ClientHandle(), &controller);
    });
    w->StepTo(text("Four"));
    EXPECT_EQ(w->CurrentStep(), 3);
    EXPECT_TRUE(pages[2]->Form() != nullptr);
}

TEST_F(Engine, FrozenActsOnTheControlsOnlyOnStepThree) {
    Started();
    w->Step(+1);
    w->SetFrozen(true);
    EXPECT_TRUE(w->Frozen());
    EXPECT_TRUE(w->cmdStepBack()->isEnabled());
    EXPECT_TRUE(w->cmdStepFwd()->isEnabled());
    EXPECT_TRUE(w->picPage()->isEnabled());
    w->SetFrozen(false);

    bool sawFrozen = false;
    w->SetAuditRoutine([&](CWizard& wiz) {
        wiz.SetFrozen(true);
        sawFrozen = !wiz.cmdStepBack()->isEnabled() && !wiz.cmdStepFwd()->isEnabled() && !wiz.picPage()->isEnabled();
        wiz.SetFrozen(false);
    });
    w->Step(+1);
    EXPECT_TRUE(sawFrozen);
    EXPECT_TRUE(w->cmdStepBack()->isEnabled());
    EXPECT_TRUE(w->cmdStepFwd()->isEnabled());
    EXPECT_TRUE(w->picPage()->isEnabled());
}

TEST_F(Engine, BackAndNextButtonsStepAndRecordThemselves) {
    Started();
    w->cmdStepFwd()->click();
    EXPECT_EQ(w->CurrentStep(), 2);
    EXPECT_EQ(w->FocusReturnHandle(), w->cmdStepFwd());
    w->cmdStepBack()->click();
    EXPECT_EQ(w->CurrentStep(), 1);
    EXPECT_EQ(w->FocusReturnHandle(), w->cmdStepBack());
    EXPECT_FALSE(w->cmdStepBack()->isEnabled());
}

TEST_F(Engine, ANextHandlerReplacesThePlainStep) {
    Started();
    int calls = 0;
    w->SetNextHandler([&](CWizard&) { ++calls; });
    w->cmdStepFwd()->click();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(w->CurrentStep(), 1);
}

TEST_F(Engine, ProgramEndPassesThroughTheStepGuards) {
    Started();
    w->SetAuditRoutine([this](CWizard&) { fake.ui.End(); });
    int afterSteps = 0;
    EXPECT_THROW(w->StepTo(text("Four")), platform::ProgramEnded);
    afterSteps = static_cast<int>(std::count(log.begin(), log.end(), std::string("AfterStep")));
    EXPECT_EQ(afterSteps, 0);
    EXPECT_TRUE(fake.ui.ended);
}

}  // namespace
