// Hosting page windows in the page area: once per page, and not at all when a page refuses to go.
#include <QPushButton>

#include "tests/wizard/window/wizard_fixture.h"

namespace testing_pages {
namespace {

using ::testing::ElementsAre;

TEST_F(WizardWindowTest, GoingBackShowsThePageWithoutHostingItAgain) {
    auto first = AddPage();
    auto second = AddPage();
    first->holder = &origin;
    wizard.Start();
    ASSERT_EQ(wizard.Pages()[0].SavedParent, &origin);
    first->Form()->move(5, 5);  // a second hosting would put it back at (0, 0)

    wizard.cmdStepFwd()->click();
    EXPECT_FALSE(first->Form()->isVisible());
    EXPECT_EQ(first->Form()->parentWidget(), wizard.picPage());  // hidden, still hosted
    EXPECT_EQ(wizard.CurrentPageForm(), second->Form());

    wizard.cmdStepBack()->click();
    ASSERT_EQ(wizard.CurrentStep(), 1);
    EXPECT_TRUE(first->Form()->isVisible());
    EXPECT_EQ(first->Form()->pos(), QPoint(5, 5));
    EXPECT_EQ(wizard.Pages()[0].SavedParent, &origin);
    EXPECT_EQ(first->loads, 1);
    EXPECT_THAT(first->shownFrom, ElementsAre(0, 2));
    EXPECT_THAT(second->hiddenTo, ElementsAre(1));
}

TEST_F(WizardWindowTest, FinishGivesEveryHostedPageBackItsParentAndUnloadsIt) {
    auto first = AddPage();
    auto second = AddPage();
    auto never = AddPage();
    first->holder = &origin;
    wizard.Start();
    wizard.cmdStepFwd()->click();
    QPointer<QWidget> firstForm = first->Form();
    ASSERT_TRUE(firstForm);

    wizard.finish();

    EXPECT_EQ(first->unloads, 1);
    EXPECT_EQ(first->parentAtUnload, &origin);
    EXPECT_EQ(second->unloads, 1);
    EXPECT_EQ(second->parentAtUnload, nullptr);  // it was a window of its own before
    EXPECT_EQ(never->unloads, 0);
    EXPECT_EQ(never->loads, 0);
    EXPECT_FALSE(firstForm);  // unloaded: destroyed
    EXPECT_EQ(wizard.ClientHandle(), nullptr);
}

TEST_F(WizardWindowTest, PageRefusingToGoKeepsEverything) {
    auto first = AddPage();
    auto second = AddPage();
    wizard.Start();
    first->refuseHide = true;
    const QRect window = wizard.frameGeometry();

    wizard.cmdStepFwd()->click();

    EXPECT_THAT(first->hiddenTo, ElementsAre(2));
    EXPECT_EQ(wizard.CurrentStep(), 1);
    EXPECT_EQ(wizard.LastStep(), 0);
    EXPECT_TRUE(first->Form()->isVisible());
    EXPECT_EQ(wizard.CurrentPageForm(), first->Form());
    EXPECT_FALSE(wizard.Pages()[1].Hosted);
    EXPECT_EQ(second->Form(), nullptr);
    EXPECT_EQ(wizard.frameGeometry(), window);
    EXPECT_FALSE(wizard.cmdStepBack()->isEnabled());
    EXPECT_TRUE(wizard.cmdStepFwd()->isEnabled());
}

}  // namespace
}  // namespace testing_pages
