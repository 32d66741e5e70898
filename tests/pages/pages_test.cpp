// The welcome, progress and finish pages: their controls, and the finish page's hand-off of the
// profile to the browser when the wizard closes.
#include <memory>
#include <string>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "session/state.h"
#include "pages/page1.h"
#include "pages/page4.h"
#include "pages/page5.h"
#include "client/service.h"
#include "tests/support/fakes.h"
#include "tests/wizard/window/test_page.h"
#include "wizard/cwizardcontroller.h"

namespace {

using ::testing::IsEmpty;
using ::testing::SizeIs;

const QString kSite = QString::fromStdString(service::SiteAddress());

struct Control {
    const char* name;
    QString text;
    QRect geometry;  // pixels: the twips of the form description over 15
};

void ExpectLabel(QWidget* form, const Control& c, bool wraps = true) {
    SCOPED_TRACE(c.name);
    auto* label = form->findChild<QLabel*>(c.name);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), c.text);
    EXPECT_EQ(label->geometry(), c.geometry);
    EXPECT_EQ(label->wordWrap(), wraps);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

class PagesTest : public ::testing::Test {
protected:
    fakes::TestPlatform fake;
    session::State state;
};

TEST_F(PagesTest, WelcomePageShowsItsTextsInPlace) {
    pages::Page1 page(fake.windows);
    QWidget* form = page.Load();
    EXPECT_EQ(form->size(), QSize(299, 226));

    ExpectLabel(form, {"Label2", "Welcome to the Vantral Collector", QRect(8, 16, 201, 17)});
    ExpectLabel(form, {"Label1",
                       "This wizard will take you through the steps needed to upload your hardware and software "
                       "information to your VantrelNet Profile.",
                       QRect(8, 40, 281, 49)});
    ExpectLabel(form, {"Label3", "Before proceeding it is recommended that you exit all open applications.",
                       QRect(8, 88, 241, 33)});
    ExpectLabel(form, {"Label1_1", "Click 'Next' to continue.", QRect(8, 128, 275, 15)});

    const QFont title = page.Label2->font();
    EXPECT_EQ(title.family(), "MS Sans Serif");
    EXPECT_DOUBLE_EQ(title.pointSizeF(), 8.25);
    EXPECT_TRUE(title.bold());
    EXPECT_FALSE(page.Label1[0]->font().bold());

    EXPECT_EQ(page.Label1[0]->objectName(), "Label1");
    EXPECT_EQ(page.Label1[1]->objectName(), "Label1_1");
    EXPECT_EQ(page.Label2->nextInFocusChain(), page.Label1[0]);
    EXPECT_EQ(page.Label1[0]->nextInFocusChain(), page.Label3);
    EXPECT_EQ(page.Label3->nextInFocusChain(), page.Label1[1]);
}

TEST_F(PagesTest, ProgressPageNamesTheSiteAndStartsConnecting) {
    pages::Page4 page(fake.windows);
    QWidget* form = page.Load();
    EXPECT_EQ(form->size(), QSize(299, 226));

    ExpectLabel(form, {"Label1",
                       "The Vantrel Collector is in the process of collecting your hardware and software information. "
                       "If you want to learn more about VantrelNet while your waiting then visit " +
                           kSite + ".",
                       QRect(8, 16, 267, 62)});
    ExpectLabel(form, {"Label2", "Connecting to your Vantrel Profile...", QRect(8, 112, 281, 73)});
    EXPECT_EQ(page.Label1[0]->nextInFocusChain(), page.Label2);
}

TEST_F(PagesTest, ProgressLineShowsMarkupAsText) {
    pages::Page4 page(fake.windows);
    page.Load();
    page.Label2->setText("Uploading <b>Sound</b> &amp; Video");
    EXPECT_EQ(page.Label2->textFormat(), Qt::PlainText);
    EXPECT_EQ(page.Label2->text(), "Uploading <b>Sound</b> &amp; Video");
}

TEST_F(PagesTest, FinishPageNamesTheSiteAndOffersTheProfileTicked) {
    pages::Page5 page(fake.windows, fake.shell, state.ServerPath);
    QWidget* form = page.Load();
    EXPECT_EQ(form->size(), QSize(299, 226));

    ExpectLabel(form, {"Label1_1",
                       "Your hardware and software information has been uploaded to your VantrelNet profile. Go to " +
                           kSite + " to view your profile and to start patching your computer.",
                       QRect(8, 16, 275, 52)});
    EXPECT_EQ(page.Label1[0], nullptr);  // the array has only index 1

    auto* check = form->findChild<QCheckBox*>("Check2");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check, page.Check2);
    EXPECT_EQ(check->text(),
              "Click the checkbox if you would like to load your VantrelNet Profile after clicking Finish.");
    EXPECT_EQ(check->geometry(), QRect(16, 120, 241, 33));
    EXPECT_TRUE(check->isChecked());
    EXPECT_EQ(page.Label1[1]->nextInFocusChain(), check);
}

TEST_F(PagesTest, ClickAnywhereOnTheCheckBoxTogglesIt) {
    pages::Page5 page(fake.windows, fake.shell, state.ServerPath);
    page.Load();
    // The far end of the second line of the caption, well away from the box itself.
    QTest::mouseClick(page.Check2, Qt::LeftButton, {}, QPoint(230, 28));
    EXPECT_FALSE(page.Check2->isChecked());
}

// The profile address comes from the base path's host; the base path's folder is not part of it.
struct ProfileCase {
    const char* serverPath;
    const char* opened;  // null: nothing is opened
};

class ProfileAddressTest : public PagesTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileAddressTest, UnloadWithTheBoxTickedOpensTheHostsProfilePage) {
    state.ServerPath = GetParam().serverPath;
    pages::Page5 page(fake.windows, fake.shell, state.ServerPath);
    QWidget* form = page.Load();

    page.Unload();

    if (!GetParam().opened) {
        EXPECT_THAT(fake.shell.calls, IsEmpty());
        return;
    }
    ASSERT_THAT(fake.shell.calls, SizeIs(1));
    EXPECT_EQ(fake.shell.calls[0].address, GetParam().opened);
    EXPECT_EQ(fake.shell.calls[0].verb, "Open");
    EXPECT_EQ(fake.shell.calls[0].owner, form);
}

INSTANTIATE_TEST_SUITE_P(
    BasePaths, ProfileAddressTest,
    ::testing::Values(ProfileCase{"http://127.0.0.1:8080/vantrel/", "http://127.0.0.1:8080/profile/hwsw.asp"},
                      ProfileCase{"http://data.vantrel.example/", "http://data.vantrel.example/profile/hwsw.asp"},
                      ProfileCase{"https://secure.vantrel.example/app/collector/",
                                  "https://secure.vantrel.example/profile/hwsw.asp"},
                      ProfileCase{"http://data.vantrel.example", "http://data.vantrel.example/profile/hwsw.asp"},
                      ProfileCase{"vantrel/data/", nullptr}, ProfileCase{"", nullptr}));

TEST_F(PagesTest, UnloadWithTheBoxClearedOpensNothing) {
    state.ServerPath = "http://127.0.0.1:8080/";
    pages::Page5 page(fake.windows, fake.shell, state.ServerPath);
    page.Load();
    page.Check2->setChecked(false);
    page.Unload();
    EXPECT_THAT(fake.shell.calls, IsEmpty());
}

// The four pages in the real controller: the three information pages and a stand-in for sign-in.
class FinishRunTest : public PagesTest {
protected:
    void StartWizard() {
        wizard::WizardParts parts;
        parts.Page1 = [this] { return std::make_shared<pages::Page1>(fake.windows); };
        parts.Page2 = [this] { return std::make_shared<testing_pages::TestPage>(fake.windows); };
        parts.Page4 = [this] { return std::make_shared<pages::Page4>(fake.windows); };
        parts.Page5 = [this] {
            finish = std::make_shared<pages::Page5>(fake.windows, fake.shell, state.ServerPath);
            return finish;
        };
        parts.RunAudit = [this](wizard::CWizard& w) {
            auto* line = w.CurrentPageForm()->findChild<QLabel*>("Label2");
            ASSERT_NE(line, nullptr);
            firstStatus = line->text();
            line->setText("Done");
        };
        controller = std::make_unique<wizard::CWizardController>(fake.get(), parts);
    }
    wizard::CWizard& Wizard() { return controller->WizardHandle(); }
    void Next() { Wizard().cmdStepFwd()->click(); }

    void TearDown() override {
        if (controller) Wizard().close();
    }

    std::shared_ptr<pages::Page5> finish;
    QString firstStatus;
    std::unique_ptr<wizard::CWizardController> controller;
};

TEST_F(FinishRunTest, HostedPagesTakeTheWindowsDialogFont) {
    StartWizard();
    auto page = std::dynamic_pointer_cast<pages::Page1>(Wizard().PageHandle(std::string("One")));
    ASSERT_NE(page, nullptr);
    for (const QLabel* label : {page->Label1[0].data(), page->Label3.data(), page->Label1[1].data()}) {
        EXPECT_EQ(label->font().family(), "MS Sans Serif");
        EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 8.25);
        EXPECT_FALSE(label->font().bold());
    }
    EXPECT_TRUE(page->Label2->font().bold());
}

TEST_F(FinishRunTest, CollectionRunWritesIntoTheProgressLine) {
    StartWizard();
    Next();
    Next();
    ASSERT_EQ(Wizard().CurrentStep(), 3);
    EXPECT_EQ(firstStatus, "Connecting to your Vantrel Profile...");
    EXPECT_EQ(Wizard().CurrentPageForm()->findChild<QLabel*>("Label2")->text(), "Done");
}

TEST_F(FinishRunTest, FinishingFromTheLastPageOpensTheProfileOnce) {
    state.ServerPath = "http://127.0.0.1:8080/vantrel/";
    StartWizard();
    Next();
    Next();
    Next();
    ASSERT_EQ(Wizard().CurrentStep(), 4);
    QWidget* owner = finish->Form();

    Wizard().cmdTerminate()->click();

    EXPECT_FALSE(Wizard().isVisible());
    EXPECT_THAT(fake.ui.shown, IsEmpty());  // no question on the last page
    controller.reset();
    ASSERT_THAT(fake.shell.calls, SizeIs(1));
    EXPECT_EQ(fake.shell.calls[0].address, "http://127.0.0.1:8080/profile/hwsw.asp");
    EXPECT_EQ(fake.shell.calls[0].verb, "Open");
    EXPECT_EQ(fake.shell.calls[0].owner, owner);
}

TEST_F(FinishRunTest, ClearedBoxSurvivesBackAndNextAndOpensNothing) {
    state.ServerPath = "http://127.0.0.1:8080/";
    StartWizard();
    Next();
    Next();
    Next();
    QCheckBox* box = finish->Check2;
    box->setChecked(false);

    Wizard().cmdStepBack()->click();
    Next();

    ASSERT_EQ(Wizard().CurrentStep(), 4);
    EXPECT_EQ(finish->Check2, box);
    EXPECT_FALSE(box->isChecked());
    Wizard().close();
    EXPECT_THAT(fake.shell.calls, IsEmpty());
}

TEST_F(FinishRunTest, TickedBoxSurvivesBackAndNext) {
    state.ServerPath = "http://127.0.0.1:8080/";
    StartWizard();
    Next();
    Next();
    Next();
    finish->Check2->setChecked(false);
    Wizard().cmdStepBack()->click();
    Next();
    finish->Check2->setChecked(true);
    Wizard().cmdStepBack()->click();
    Next();

    EXPECT_TRUE(finish->Check2->isChecked());
    Wizard().close();
    EXPECT_THAT(fake.shell.calls, SizeIs(1));
}

TEST_F(FinishRunTest, CancellingBeforeTheFinishPageOpensNothing) {
    state.ServerPath = "http://127.0.0.1:8080/";
    StartWizard();
    Next();
    Next();
    ASSERT_EQ(Wizard().CurrentStep(), 3);

    Wizard().cmdTerminate()->click();  // the question is answered Yes

    ASSERT_THAT(fake.ui.shown, SizeIs(1));
    EXPECT_FALSE(Wizard().isVisible());
    EXPECT_EQ(finish->Form(), nullptr);  // never loaded
    controller.reset();
    EXPECT_THAT(fake.shell.calls, IsEmpty());
}

TEST_F(FinishRunTest, ClosingAfterTheFinishPageWasShownOpensTheProfileFromAnyPage) {
    state.ServerPath = "http://127.0.0.1:8080/";
    StartWizard();
    Next();
    Next();
    Next();
    Wizard().cmdStepBack()->click();
    ASSERT_EQ(Wizard().CurrentStep(), 3);

    Wizard().close();  // the close box; the question is answered Yes

    EXPECT_THAT(fake.ui.shown, SizeIs(1));
    EXPECT_THAT(fake.shell.calls, SizeIs(1));
}

TEST_F(FinishRunTest, BrowserThatCannotStartDoesNotKeepTheWizardOpen) {
    state.ServerPath = "http://127.0.0.1:8080/";
    fake.shell.fail = true;
    StartWizard();
    Next();
    Next();
    Next();

    Wizard().cmdTerminate()->click();

    EXPECT_THAT(fake.shell.calls, SizeIs(1));
    EXPECT_FALSE(Wizard().isVisible());
}

}  // namespace
