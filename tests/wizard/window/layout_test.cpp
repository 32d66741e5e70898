// The window's layout around the page: the worked example, low and narrow pages, resizing.
#include <QLabel>
#include <QPushButton>

#include "tests/wizard/window/wizard_fixture.h"

namespace testing_pages {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

QRect Geometry(const QWidget* w) { return w->geometry(); }

std::pair<int, int> Centre(const QWidget* w) {
    const QPoint tl = w->mapToGlobal(QPoint(0, 0));
    return {(2 * tl.x() + w->width()) / 2, (2 * tl.y() + w->height()) / 2};
}

TEST_F(WizardWindowTest, WorkedExampleComesOutExactly) {
    AddPage();
    AddPage();
    wizard.Start();

    EXPECT_EQ(Geometry(wizard.picSplash()), QRect(4, 4, 120, 225));
    EXPECT_EQ(Geometry(wizard.picPage()), QRect(130, 2, 301, 228));
    const auto& lines = wizard.lnBevel();
    EXPECT_EQ((std::array{lines[0].X1, lines[0].Y1, lines[0].X2, lines[0].Y2}), (std::array{4, 236, 434, 236}));
    EXPECT_EQ((std::array{lines[1].X1, lines[1].Y1, lines[1].X2, lines[1].Y2}), (std::array{4, 237, 434, 237}));
    EXPECT_EQ(wizard.cmdTerminate()->pos(), QPoint(353, 242));
    EXPECT_EQ(wizard.cmdStepFwd()->pos(), QPoint(265, 242));
    EXPECT_EQ(wizard.cmdStepBack()->pos(), QPoint(183, 242));
    for (const QPushButton* b : {wizard.cmdStepBack(), wizard.cmdStepFwd(), wizard.cmdTerminate()})
        EXPECT_EQ(b->size(), QSize(80, 23)) << b->objectName().toStdString();
    EXPECT_EQ(wizard.size(), QSize(435, 269));
    EXPECT_EQ(wizard.WidthTwips(), 6645);
    EXPECT_EQ(wizard.HeightTwips(), 4445);
    EXPECT_EQ(wizard.LeftTwips(), 4358);
    EXPECT_EQ(wizard.TopTwips(), 3538);
    EXPECT_TRUE(wizard.FinishedLoading());
}

TEST_F(WizardWindowTest, FirstStepHostsThePageWithoutHidingOrMovingThePointer) {
    auto first = AddPage();
    AddPage();
    wizard.Start();

    EXPECT_THAT(first->hiddenTo, IsEmpty());
    EXPECT_THAT(first->shownFrom, ElementsAre(0));
    ASSERT_NE(first->Form(), nullptr);
    EXPECT_EQ(first->Form()->parentWidget(), wizard.picPage());
    EXPECT_EQ(first->Form()->pos(), QPoint(0, 0));
    EXPECT_TRUE(first->Form()->isVisible());
    EXPECT_EQ(wizard.CurrentPageForm(), first->Form());
    EXPECT_TRUE(wizard.Pages()[0].Hosted);
    EXPECT_FALSE(wizard.Pages()[1].Hosted);
    EXPECT_THAT(fake.windows.cursorMoves, IsEmpty());
    EXPECT_EQ(wizard.LeftTwips(), 4358);
    EXPECT_EQ(wizard.TopTwips(), 3538);
}

TEST_F(WizardWindowTest, LowPageIsCentredOnHalfTheSideImage) {
    AddPage(299, 200);
    wizard.Start();
    EXPECT_EQ(Geometry(wizard.picPage()), QRect(130, 13, 301, 202));
    // The side image is now the lower edge: 229 + 6 for the lines.
    EXPECT_EQ(wizard.lnBevel()[0].Y1, 235);
}

TEST_F(WizardWindowTest, PageAsTallAsTheSideImageSitsAtTheTop) {
    AddPage(299, 223);
    wizard.Start();
    EXPECT_EQ(Geometry(wizard.picPage()), QRect(130, 2, 301, 225));
}

TEST_F(WizardWindowTest, NarrowPageLeavesRoomForTheButtons) {
    AddPage(100, 226);
    wizard.Start();
    EXPECT_EQ(wizard.width(), 274);
    EXPECT_EQ(wizard.lnBevel()[0].X2, 273);
    EXPECT_EQ(wizard.cmdTerminate()->x(), 192);
    EXPECT_EQ(wizard.cmdStepFwd()->x(), 104);
    EXPECT_EQ(wizard.cmdStepBack()->x(), 22);
}

TEST_F(WizardWindowTest, StepToALargerPageAfterNextResizesRecentresAndFollowsWithThePointer) {
    AddPage();
    AddPage(360, 260);
    wizard.Start();
    ASSERT_THAT(fake.windows.cursorMoves, IsEmpty());

    wizard.cmdStepFwd()->click();

    ASSERT_EQ(wizard.CurrentStep(), 2);
    EXPECT_EQ(Geometry(wizard.picPage()), QRect(130, 2, 362, 262));
    EXPECT_EQ(wizard.size(), QSize(496, 303));
    // Centred again: 7680 - 7560 \ 2 and 5760 - 4955 \ 2.
    EXPECT_EQ(wizard.WidthTwips(), 7560);
    EXPECT_EQ(wizard.HeightTwips(), 4955);
    EXPECT_EQ(wizard.LeftTwips(), 3900);
    EXPECT_EQ(wizard.TopTwips(), 3283);
    EXPECT_THAT(fake.windows.cursorMoves, ElementsAre(Centre(wizard.cmdStepFwd())));
}

TEST_F(WizardWindowTest, StepBetweenPagesOfOneSizeLeavesWindowAndPointerAlone) {
    AddPage();
    AddPage();
    wizard.Start();
    wizard.MoveTwips(1500, 1200);  // where the user put it
    const QRect before = wizard.frameGeometry();

    wizard.cmdStepFwd()->click();

    ASSERT_EQ(wizard.CurrentStep(), 2);
    EXPECT_EQ(wizard.frameGeometry(), before);
    EXPECT_THAT(fake.windows.cursorMoves, IsEmpty());
}

TEST_F(WizardWindowTest, WithoutAPageOnlyTheSideImageMoves) {
    wizard.AddPage(nullptr, std::string("One"));
    const QRect pageArea = wizard.picPage()->geometry();
    const QPoint next = wizard.cmdStepFwd()->pos();
    const QSize stored = wizard.size();

    wizard.Start();

    EXPECT_EQ(wizard.CurrentStep(), 1);
    EXPECT_EQ(wizard.picSplash()->pos(), QPoint(4, 4));
    EXPECT_EQ(wizard.picPage()->geometry(), pageArea);
    EXPECT_EQ(wizard.cmdStepFwd()->pos(), next);
    EXPECT_EQ(wizard.size(), stored);
    EXPECT_TRUE(wizard.FinishedLoading());
}

}  // namespace
}  // namespace testing_pages
