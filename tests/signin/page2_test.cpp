// The sign-in page: its controls, its options and boxes as a user meets them, and the link.
#include <string>

#include <QAccessible>
#include <QApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/signin/harness.h"

namespace {

using signin_test::AccountReply;
using signin_test::SignInWizard;

QColor TextColour(QLabel* label) { return label->palette().color(QPalette::WindowText); }
QColor ButtonTextColour(QLabel* label) { return QApplication::palette(label).color(QPalette::ButtonText); }

class SignInPage : public ::testing::Test {
protected:
    void SetUp() override {
        state.IsSubscriber = false;  // the page's first load must set it
        form = page.Load();
        ASSERT_NE(form, nullptr);
    }
    // Shows the form as a window of its own and makes it active, so that focus moves for real.
    void Activate() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }
    void MoveFocus(QWidget* to) {
        to->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), to);
    }
    bool BoxesEnabled() const { return page.Text1()->isEnabled() && page.Text2()->isEnabled(); }
    bool BoxesDisabled() const { return !page.Text1()->isEnabled() && !page.Text2()->isEnabled(); }

    fakes::TestPlatform tp;
    session::State state;
    signin::Page2 page{tp.windows, tp.shell, {state.IsSubscriber, state.UserName, state.UserPassword}};
    QWidget* form = nullptr;
};

TEST_F(SignInPage, PlacesEveryControlWhereTheTwipsSay) {
    // 15 twips to the pixel.
    struct Expected { const char* name; QRect rect; QWidget* parent; };
    const Expected expected[] = {
        {"Label1", {8, 8, 277, 65}, form},      {"Label2", {8, 136, 89, 17}, form},
        {"Label3", {8, 168, 89, 17}, form},     {"Text1", {64, 128, 209, 25}, form},
        {"Text2", {64, 160, 209, 25}, form},    {"Subscriber", {8, 72, 281, 41}, form},
        {"Option1", {8, 16, 121, 17}, page.Subscriber()}, {"Option1_1", {160, 88, 121, 17}, form},
        {"SubscribeLink", {104, 200, 81, 17}, form},
    };
    for (const Expected& e : expected) {
        auto* w = form->findChild<QWidget*>(e.name);
        ASSERT_NE(w, nullptr) << e.name;
        EXPECT_EQ(w->geometry(), e.rect) << e.name;
        EXPECT_EQ(w->parentWidget(), e.parent) << e.name;
    }
    EXPECT_EQ(page.Option1(0)->objectName(), "Option1");
    EXPECT_EQ(page.Option1(1)->objectName(), "Option1_1");
    EXPECT_EQ(form->size(), QSize(299, 226));
}

TEST_F(SignInPage, ShowsTheTextsOfTheProgram) {
    EXPECT_EQ(page.Label1()->text().toStdString(),
              "To get your information uploaded into your VantrelNet Profile you must first log-in. Please provide "
              "your username and password below. If you are only evaluating Vantrel then select \"Evaluating\" and "
              "click Next.");
    EXPECT_TRUE(page.Label1()->wordWrap());
    EXPECT_EQ(page.Label2()->text(), "Username:");
    EXPECT_EQ(page.Label3()->text(), "Password:");
    EXPECT_EQ(page.Option1(0)->text(), "Already Subscribed");
    EXPECT_EQ(page.Option1(1)->text(), "Evaluating");
    EXPECT_EQ(page.SubscribeLink()->text(), "Subscribe Now");
    EXPECT_TRUE(page.Subscriber()->title().isEmpty());
}

TEST_F(SignInPage, KeepsTheTabOrderOfItsControls) {
    std::vector<QString> names;
    for (QWidget* w : page.TabOrder()) names.push_back(w->objectName());
    EXPECT_EQ(names, (std::vector<QString>{"Label1", "Label2", "Label3", "Text1", "Text2", "Subscriber", "Option1",
                                           "Option1_1", "SubscribeLink"}));
    // The focus chain follows the same order.
    std::vector<QWidget*> chain;
    QWidget* w = page.Label1();
    for (int i = 0; i < 50 && chain.size() < 9; ++i, w = w->nextInFocusChain())
        for (QWidget* c : page.TabOrder())
            if (c == w) chain.push_back(w);
    EXPECT_EQ(chain, page.TabOrder());
}

TEST_F(SignInPage, StartsSubscribedWithEmptyEnabledBoxes) {
    EXPECT_TRUE(state.IsSubscriber);
    EXPECT_TRUE(page.Option1(0)->isChecked());
    EXPECT_FALSE(page.Option1(1)->isChecked());
    EXPECT_FALSE(page.Option1(0)->autoExclusive());
    EXPECT_FALSE(page.Option1(1)->autoExclusive());
    EXPECT_TRUE(BoxesEnabled());
    EXPECT_TRUE(page.Text1()->text().isEmpty());
    EXPECT_TRUE(page.Text2()->text().isEmpty());
    EXPECT_EQ(TextColour(page.Label2()), ButtonTextColour(page.Label2()));
    EXPECT_EQ(TextColour(page.Label3()), ButtonTextColour(page.Label3()));
    EXPECT_TRUE(state.UserName.empty());
    EXPECT_TRUE(state.UserPassword.empty());
}

TEST_F(SignInPage, MasksThePasswordWithStars) {
    EXPECT_EQ(page.Text2()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(page.Text2()->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, page.Text2()), '*');
    EXPECT_EQ(page.Text1()->echoMode(), QLineEdit::Normal);
    QTest::keyClicks(page.Text2(), "pw");
    EXPECT_EQ(page.Text2()->displayText(), "**");
}

TEST_F(SignInPage, EvaluatingDisablesTheBoxesWithoutClearingThem) {
    QTest::keyClicks(page.Text1(), "alice");
    QTest::keyClicks(page.Text2(), "pw");
    QTest::mouseClick(page.Option1(1), Qt::LeftButton);
    EXPECT_FALSE(state.IsSubscriber);
    EXPECT_FALSE(page.Option1(0)->isChecked());
    EXPECT_TRUE(page.Option1(1)->isChecked());
    EXPECT_TRUE(BoxesDisabled());
    EXPECT_EQ(page.Text1()->text(), "alice");
    EXPECT_EQ(TextColour(page.Label2()), QColor(2, 0, 0));
    EXPECT_EQ(TextColour(page.Label3()), QColor(2, 0, 0));

    QTest::mouseClick(page.Option1(0), Qt::LeftButton);
    EXPECT_TRUE(state.IsSubscriber);
    EXPECT_TRUE(page.Option1(0)->isChecked());
    EXPECT_FALSE(page.Option1(1)->isChecked());
    EXPECT_TRUE(BoxesEnabled());
    EXPECT_EQ(page.Text1()->text(), "alice");
    EXPECT_EQ(state.UserName, "alice");
    EXPECT_EQ(state.UserPassword, "pw");
    EXPECT_EQ(TextColour(page.Label2()), ButtonTextColour(page.Label2()));
}

TEST_F(SignInPage, ClickingTheSelectedOptionChangesNothing) {
    QTest::mouseClick(page.Option1(0), Qt::LeftButton);
    EXPECT_TRUE(page.Option1(0)->isChecked());
    EXPECT_FALSE(page.Option1(1)->isChecked());
    EXPECT_TRUE(state.IsSubscriber);
    EXPECT_TRUE(BoxesEnabled());

    QTest::mouseClick(page.Option1(1), Qt::LeftButton);
    QTest::mouseClick(page.Option1(1), Qt::LeftButton);
    EXPECT_TRUE(page.Option1(1)->isChecked());
    EXPECT_FALSE(page.Option1(0)->isChecked());
    EXPECT_FALSE(state.IsSubscriber);
    EXPECT_TRUE(BoxesDisabled());
}

TEST_F(SignInPage, TheOptionsReadAsRadioButtonsWithTheirStateThroughAccessibility) {
    QAccessibleInterface* subscribed = QAccessible::queryAccessibleInterface(page.Option1(0));
    QAccessibleInterface* evaluating = QAccessible::queryAccessibleInterface(page.Option1(1));
    ASSERT_NE(subscribed, nullptr);
    ASSERT_NE(evaluating, nullptr);
    EXPECT_EQ(subscribed->role(), QAccessible::RadioButton);
    EXPECT_EQ(evaluating->role(), QAccessible::RadioButton);
    EXPECT_EQ(subscribed->text(QAccessible::Name), "Already Subscribed");
    EXPECT_EQ(evaluating->text(QAccessible::Name), "Evaluating");
    EXPECT_TRUE(subscribed->state().checkable);
    EXPECT_TRUE(subscribed->state().checked);
    EXPECT_FALSE(evaluating->state().checked);

    // Pressed through the interface, as a screen reader does: the page's own click behaviour.
    ASSERT_NE(evaluating->actionInterface(), nullptr);
    EXPECT_TRUE(evaluating->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    evaluating->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(evaluating->state().checked);
    EXPECT_FALSE(subscribed->state().checked);
    EXPECT_FALSE(state.IsSubscriber);
    EXPECT_TRUE(BoxesDisabled());
    // Pressing the selected one again clears nothing.
    evaluating->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(evaluating->state().checked);
    EXPECT_FALSE(state.IsSubscriber);
}

TEST_F(SignInPage, KeepsNameAndPasswordOnEveryKeystroke) {
    QTest::keyClicks(page.Text1(), "bo");
    EXPECT_EQ(state.UserName, "bo");
    QTest::keyClicks(page.Text1(), "b & co");
    EXPECT_EQ(state.UserName, "bob & co");  // taken as typed: no trimming, no check
    for (int i = 0; i < 8; ++i) QTest::keyClick(page.Text1(), Qt::Key_Backspace);
    EXPECT_EQ(state.UserName, "");
    page.Text2()->setText(QString::fromUtf8(" p\xC3\xA4ss "));
    EXPECT_EQ(state.UserPassword, " p\xC3\xA4ss ");
}

TEST_F(SignInPage, FocusLeavingAnOptionFollowsThatOptionNotTheSelection) {
    Activate();
    QTest::mouseClick(page.Option1(1), Qt::LeftButton);  // "Evaluating"
    ASSERT_TRUE(BoxesDisabled());
    MoveFocus(page.Option1(0));
    MoveFocus(page.Option1(1));  // the focus leaves "Already Subscribed"
    EXPECT_TRUE(BoxesEnabled());
    EXPECT_EQ(TextColour(page.Label2()), ButtonTextColour(page.Label2()));
    EXPECT_TRUE(page.Option1(1)->isChecked());
    EXPECT_FALSE(page.Option1(0)->isChecked());
    EXPECT_FALSE(state.IsSubscriber);

    QTest::mouseClick(page.Option1(0), Qt::LeftButton);  // "Already Subscribed"
    ASSERT_TRUE(BoxesEnabled());
    MoveFocus(page.Option1(1));
    MoveFocus(page.Option1(0));  // the focus leaves "Evaluating"
    EXPECT_TRUE(BoxesDisabled());
    EXPECT_EQ(TextColour(page.Label3()), QColor(2, 0, 0));
    EXPECT_TRUE(page.Option1(0)->isChecked());
    EXPECT_TRUE(state.IsSubscriber);
}

TEST_F(SignInPage, TheWindowLosingTheFocusValidatesNothing) {
    QTest::mouseClick(page.Option1(1), Qt::LeftButton);
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(page.Option1(0), &away);
    EXPECT_TRUE(BoxesDisabled());
    QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(page.Option1(0), &tab);
    EXPECT_TRUE(BoxesEnabled());
}

TEST_F(SignInPage, TheLinkIsBlueAndOpensTheSubscriptionDetails) {
    EXPECT_EQ(TextColour(page.SubscribeLink()), QColor(0, 0, 255));
    EXPECT_EQ(page.SubscribeLink()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(page.SubscribeLink(), Qt::LeftButton);
    ASSERT_EQ(tp.shell.calls.size(), 1u);
    EXPECT_EQ(tp.shell.calls[0].address, service::SiteAddress() + "/subscription/details.asp");
    EXPECT_EQ(tp.shell.calls[0].verb, "");
    EXPECT_EQ(tp.shell.calls[0].owner, nullptr);
    // A click on another control, or with the right button, opens nothing.
    QTest::mouseClick(page.SubscribeLink(), Qt::RightButton);
    QTest::mouseClick(page.Label1(), Qt::LeftButton);
    EXPECT_EQ(tp.shell.calls.size(), 1u);
}

TEST_F(SignInPage, ABrowserThatCannotStartIsSilent) {
    tp.shell.fail = true;
    QTest::keyClicks(page.Text1(), "alice");
    EXPECT_NO_THROW(QTest::mouseClick(page.SubscribeLink(), Qt::LeftButton));
    EXPECT_EQ(tp.shell.calls.size(), 1u);
    EXPECT_EQ(page.Text1()->text(), "alice");
    EXPECT_TRUE(tp.ui.shown.empty());
}

TEST_F(SignInPage, UnloadRecordsTheSelectionOnceMore) {
    QTest::mouseClick(page.Option1(1), Qt::LeftButton);
    state.IsSubscriber = true;
    page.Unload();
    EXPECT_FALSE(state.IsSubscriber);
    EXPECT_EQ(page.Form(), nullptr);
}

// --- The page inside the wizard, with Next -------------------------------------------------------

class SignInFlow : public ::testing::Test {
protected:
    void SetUp() override {
        w.ToSignInPage();
        w.tp.records.fallback = [](const std::string&) { return AccountReply(1); };
    }
    bool AccountChecked() const {
        return w.tp.records.requested.size() == 1 && w.tp.records.requested[0].find("getdata.asp") != std::string::npos;
    }
    bool Registered() const {
        return w.tp.records.requested.size() == 1 && w.tp.records.requested[0].find("gettemp.asp") != std::string::npos;
    }
    SignInWizard w;
};

TEST_F(SignInFlow, EvaluatingRunsTheEvaluationPathWhateverTheBoxesHold) {
    QTest::keyClicks(w.page2->Text1(), "alice");
    QTest::mouseClick(w.page2->Option1(1), Qt::LeftButton);
    w.PressNext();
    EXPECT_TRUE(Registered());
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
}

TEST_F(SignInFlow, BackToSubscribedChecksTheTextsTypedBefore) {
    QTest::keyClicks(w.page2->Text1(), "alice");
    QTest::keyClicks(w.page2->Text2(), "pw");
    QTest::mouseClick(w.page2->Option1(1), Qt::LeftButton);
    QTest::mouseClick(w.page2->Option1(0), Qt::LeftButton);
    w.PressNext();
    ASSERT_TRUE(AccountChecked());
    EXPECT_EQ(w.tp.records.requested[0], w.Address(service::AccountRequest("alice", "pw")));
}

TEST_F(SignInFlow, EnabledBoxesUnderEvaluatingStillRunTheEvaluationPath) {
    w.page2->Option1(1)->click();
    w.page2->Option1_Validate(0);  // the focus left "Already Subscribed"
    ASSERT_TRUE(w.page2->Text1()->isEnabled());
    w.PressNext();
    EXPECT_TRUE(Registered());
}

TEST_F(SignInFlow, ThePageKeepsItsStateAcrossBackAndNext) {
    QTest::keyClicks(w.page2->Text1(), "alice");
    w.page2->Option1(1)->click();
    w.PressBack();
    ASSERT_EQ(w.wizard().CurrentStep(), 1);
    w.PressNext();
    ASSERT_EQ(w.wizard().CurrentStep(), 2);
    EXPECT_TRUE(w.page2->Option1(1)->isChecked());
    EXPECT_FALSE(w.page2->Text1()->isEnabled());
    EXPECT_EQ(w.page2->Text1()->text(), "alice");
    EXPECT_FALSE(w.state.IsSubscriber);
    EXPECT_EQ(w.state.UserName, "alice");
}

}  // namespace
