// Button states after each step, Enter and Esc, the focus between buttons and page, and the
// painted edge around the side image.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/wizard/window/wizard_fixture.h"

namespace testing_pages {
namespace {

using ::testing::ElementsAre;
using ::testing::Each;
using ::testing::SizeIs;

struct Buttons {
    bool back, next;
    const char* caption;
    const char* enter;  // object name of the button Enter answers
};

void ExpectButtons(const wizard::CWizard& w, const Buttons& expected) {
    EXPECT_EQ(w.cmdStepBack()->isEnabled(), expected.back);
    EXPECT_EQ(w.cmdStepFwd()->isEnabled(), expected.next);
    EXPECT_TRUE(w.cmdTerminate()->isEnabled());
    EXPECT_EQ(w.cmdTerminate()->text().toStdString(), expected.caption);
    ASSERT_NE(w.DefaultButton(), nullptr);
    EXPECT_EQ(w.DefaultButton()->objectName().toStdString(), expected.enter);
    int defaults = 0;
    for (const QPushButton* b : {w.cmdStepBack(), w.cmdStepFwd(), w.cmdTerminate()}) defaults += b->isDefault();
    EXPECT_EQ(defaults, 1);
}

class ButtonsTest : public WizardWindowTest {
protected:
    void StartActive() {
        wizard.Start();
        wizard.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard));
    }
};

TEST_F(ButtonsTest, StatesFollowTheStep) {
    AddPage();
    AddPage();
    AddPage();
    wizard.Start();
    {
        SCOPED_TRACE("first step");
        ExpectButtons(wizard, {false, true, "Cancel", "cmdStepFwd"});
    }
    wizard.cmdStepFwd()->click();
    {
        SCOPED_TRACE("middle step");
        ExpectButtons(wizard, {true, true, "Cancel", "cmdStepFwd"});
    }
    wizard.cmdStepFwd()->click();
    {
        SCOPED_TRACE("last step");
        ExpectButtons(wizard, {true, false, "Finish", "cmdTerminate"});
    }
    wizard.cmdStepBack()->click();
    {
        SCOPED_TRACE("back from the last step");
        ExpectButtons(wizard, {true, true, "Cancel", "cmdStepFwd"});
    }
}

TEST_F(ButtonsTest, SinglePageIsFirstAndLast) {
    AddPage();
    wizard.Start();
    ExpectButtons(wizard, {false, false, "Finish", "cmdTerminate"});
}

TEST_F(ButtonsTest, CaptionDifferingFromFinishOnlyInCaseIsLeftAlone) {
    AddPage();
    AddPage();
    AddPage();
    wizard.Start();
    wizard.cmdTerminate()->setText("FINISH");
    wizard.cmdStepFwd()->click();
    ASSERT_EQ(wizard.CurrentStep(), 2);
    EXPECT_EQ(wizard.cmdTerminate()->text(), "FINISH");
}

TEST_F(ButtonsTest, EnterAnswersTheDefaultButton) {
    AddPage();
    AddPage();
    StartActive();
    controller.refuseClose = true;

    QTest::keyClick(&wizard, Qt::Key_Return);
    ASSERT_EQ(wizard.CurrentStep(), 2);
    EXPECT_EQ(controller.cancels, 0);

    QTest::keyClick(&wizard, Qt::Key_Enter);  // now Finish
    EXPECT_EQ(controller.cancels, 1);
    EXPECT_EQ(wizard.CurrentStep(), 2);
    EXPECT_EQ(wizard.FocusReturnHandle(), wizard.cmdTerminate());
}

TEST_F(ButtonsTest, EscAnswersCancelWhateverItsCaption) {
    AddPage();
    AddPage();
    StartActive();
    controller.refuseClose = true;

    QTest::keyClick(&wizard, Qt::Key_Escape);
    EXPECT_EQ(controller.cancels, 1);
    EXPECT_EQ(wizard.CurrentStep(), 1);

    wizard.cmdStepFwd()->click();
    ASSERT_EQ(wizard.cmdTerminate()->text(), "Finish");
    QTest::keyClick(&wizard, Qt::Key_Escape);
    EXPECT_EQ(controller.cancels, 2);
}

TEST_F(ButtonsTest, TransferFocusBeforeAnyPressGoesToNext) {
    AddPage();
    AddPage();
    StartActive();
    ASSERT_EQ(wizard.FocusReturnHandle(), nullptr);

    wizard.TransferFocus();

    EXPECT_EQ(wizard.FocusReturnHandle(), wizard.cmdStepFwd());
    EXPECT_EQ(wizard.focusWidget(), wizard.cmdStepFwd());
    EXPECT_THAT(wizard.TabOrder(), ElementsAre(wizard.cmdStepFwd(), wizard.cmdTerminate(), wizard.picSplash(),
                                               wizard.cmdStepBack(), wizard.picPage()));
}

TEST_F(ButtonsTest, TransferFocusAfterBackGoesToBack) {
    AddPage();
    AddPage();
    AddPage();
    StartActive();
    wizard.cmdStepFwd()->click();
    wizard.cmdStepFwd()->click();
    wizard.cmdStepBack()->click();
    ASSERT_EQ(wizard.CurrentStep(), 2);
    ASSERT_NE(wizard.focusWidget(), wizard.cmdStepBack());  // the step put it into the page

    wizard.TransferFocus();

    EXPECT_EQ(wizard.focusWidget(), wizard.cmdStepBack());
}

TEST_F(ButtonsTest, TransferFocusDuringAStepChangesNothing) {
    AddPage();
    AddPage();
    StartActive();
    std::vector<QWidget*> orderBefore, orderAfter;
    QWidget *focusBefore = nullptr, *focusAfter = nullptr;
    controller.duringStep = [&] {
        orderBefore = wizard.TabOrder();
        focusBefore = wizard.focusWidget();
        wizard.TransferFocus();
        orderAfter = wizard.TabOrder();
        focusAfter = wizard.focusWidget();
    };

    wizard.Step(+1);

    ASSERT_EQ(wizard.CurrentStep(), 2);
    EXPECT_EQ(orderAfter, orderBefore);
    EXPECT_EQ(focusAfter, focusBefore);
    EXPECT_EQ(wizard.FocusReturnHandle(), nullptr);
}

TEST_F(ButtonsTest, StepPutsTheFocusIntoThePage) {
    auto first = AddPage();
    auto second = AddPage();
    StartActive();
    wizard.cmdStepFwd()->click();
    EXPECT_EQ(wizard.focusWidget(), second->Form()) << (wizard.focusWidget() ? wizard.focusWidget()->objectName().toStdString() : "none");
    EXPECT_EQ(QApplication::focusWidget(), second->Form());
}

TEST_F(ButtonsTest, FocusOnThePageAreaPassesIntoThePageWindow) {
    auto page = AddPage();
    AddPage();
    StartActive();

    wizard.cmdTerminate()->setFocus();
    ASSERT_EQ(wizard.focusWidget(), wizard.cmdTerminate());
    QTest::keyClick(wizard.cmdTerminate(), Qt::Key_Tab);  // Back is disabled on the first step
    EXPECT_EQ(wizard.focusWidget(), page->Form());

    wizard.cmdStepFwd()->setFocus();
    wizard.picPage()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(wizard.focusWidget(), page->Form());
}

TEST_F(ButtonsTest, EveryRepaintDrawsTheEdgeAroundTheSideImage) {
    AddPage();
    wizard.Start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wizard));
    fake.windows.edges.clear();

    wizard.repaint();
    wizard.repaint();

    EXPECT_THAT(fake.windows.edges, SizeIs(2));
    EXPECT_THAT(fake.windows.edges, Each(platform::Rect{3, 3, 125, 230}));
}

}  // namespace
}  // namespace testing_pages
