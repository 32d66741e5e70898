// The Next handler in a real wizard: the connectivity test on the welcome page, the account check
// and the evaluation path on the sign-in page, plain steps elsewhere.
#include <optional>
#include <string>

#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "tests/signin/harness.h"

namespace {

using signin_test::AccountReply;
using signin_test::SignInWizard;

const char* const kNotConnected =
    "You are not currently connected to Internet. You will need to be connected to the Internet in order to upload "
    "your hardware and software information. This program will terminate once you click OK. You can relaunch "
    "Vantrel Collector once you have connected to the Internet.";

std::string InvalidLogin() {
    return "The username and/or the password you enetered are not valid. Please enter a valid username and password "
           "to continue. If you feel this error is invalid please visit " +
           service::SiteAddress() + " to verify that you have the correct username and password.";
}

std::string Unreachable() {
    return "The VantrelNet service could not be reached to check your username and password. Please check your "
           "connection to the Internet and try again. If the problem continues please visit " +
           service::SiteAddress() + ".";
}

void ExpectPlainBox(const platform::MessageBox& box, const std::string& text) {
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.title, "Vantrel Collector");
    EXPECT_EQ(box.buttons, platform::Buttons::OK);
    EXPECT_EQ(box.icon, platform::Icon::None);
}

// --- Leaving the welcome page --------------------------------------------------------------------

class NotConnected : public ::testing::TestWithParam<std::optional<std::string>> {};

TEST_P(NotConnected, EndsTheProgramAfterTheMessageAndNothingElseRuns) {
    SignInWizard w;
    w.tp.network.address = GetParam();
    EXPECT_THROW(w.CallNext(), platform::ProgramEnded);
    EXPECT_TRUE(w.tp.ui.ended);
    ASSERT_EQ(w.tp.ui.shown.size(), 1u);
    ExpectPlainBox(w.tp.ui.shown[0], kNotConnected);
    EXPECT_EQ(w.tp.network.calls, (std::vector<std::string>{"Close", "Refresh", "LocalIP"}));
    EXPECT_EQ(w.wizard().CurrentStep(), 1);
    EXPECT_TRUE(w.tp.records.requested.empty());
}

INSTANTIATE_TEST_SUITE_P(EmptyLoopbackOrUnreadable, NotConnected,
                         ::testing::Values(std::optional<std::string>(""), std::optional<std::string>("127.0.0.1"),
                                           std::nullopt));

TEST(Connectivity, AnyOtherAddressPassesToTheSignInPage) {
    for (const char* address : {"127.0.0.2", "10.0.0.7", " 127.0.0.1"}) {
        SignInWizard w;
        w.tp.network.address = std::string(address);
        w.PressNext();
        EXPECT_FALSE(w.tp.ui.ended) << address;
        EXPECT_TRUE(w.tp.ui.shown.empty()) << address;
        EXPECT_EQ(w.wizard().CurrentStep(), 2) << address;
        EXPECT_EQ(w.wizard().FocusReturnHandle(), w.wizard().cmdStepFwd());
        // Leaving the welcome page makes no request and no identifier.
        EXPECT_TRUE(w.tp.records.requested.empty());
        EXPECT_TRUE(w.state.EvalID.empty());
    }
}

TEST(Connectivity, AFailingCloseStillReadsTheAddress) {
    SignInWizard w;
    w.tp.network.failClose = true;
    w.PressNext();
    EXPECT_EQ(w.tp.network.calls, (std::vector<std::string>{"Close", "Refresh", "LocalIP"}));
    EXPECT_EQ(w.wizard().CurrentStep(), 2);
}

TEST(Connectivity, RunsAgainAfterComingBackToTheWelcomePageAndNeverOnTheSignInPage) {
    SignInWizard w;
    w.ToSignInPage();
    w.PressBack();
    ASSERT_EQ(w.wizard().CurrentStep(), 1);
    w.tp.network.address = std::string("127.0.0.1");
    EXPECT_THROW(w.CallNext(), platform::ProgramEnded);

    SignInWizard v;
    v.ToSignInPage();
    v.tp.records.fallback = [](const std::string&) { return AccountReply(1); };
    v.tp.network.address = std::nullopt;  // would end the program if it were asked
    v.PressNext();
    EXPECT_TRUE(v.tp.network.calls.empty());
    EXPECT_EQ(v.wizard().CurrentStep(), 3);
}

// --- The account check ---------------------------------------------------------------------------

class AccountCheck : public ::testing::Test {
protected:
    void SetUp() override {
        w.ToSignInPage();
        w.state.ProfileCrDate = platform::Date{1.0};
        w.state.ProfileLuDate = platform::Date{2.0};
    }
    void Answer(platform::RecordSet reply) {
        w.tp.records.fallback = [reply](const std::string&) { return reply; };
    }
    SignInWizard w;
};

TEST_F(AccountCheck, OneRecordStoresBothDatesAndReachesTheProgressPage) {
    Answer(AccountReply(1, platform::Date{45000.25}, 45123.5));
    w.page2->Text1()->setText("alice");
    w.page2->Text2()->setText("s3cret");
    w.PressNext();
    EXPECT_EQ(w.tp.records.requested,
              (std::vector<std::string>{w.Address(service::AccountRequest("alice", "s3cret"))}));
    EXPECT_EQ(w.state.ProfileCrDate, (platform::Date{45000.25}));
    EXPECT_EQ(w.state.ProfileLuDate, (platform::Date{45123.5}));
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
    EXPECT_EQ(w.audits, 1);
    EXPECT_TRUE(w.tp.ui.shown.empty());
    EXPECT_EQ(w.wizard().FocusReturnHandle(), w.wizard().cmdStepFwd());
}

TEST_F(AccountCheck, UntouchedPageSendsEmptyNameAndPassword) {
    Answer(AccountReply(1));
    w.PressNext();
    ASSERT_EQ(w.tp.records.requested.size(), 1u);
    EXPECT_EQ(w.tp.records.requested[0], w.state.ServerPath + "getdata.asp?UID=&PWD=");
}

TEST_F(AccountCheck, AMissingOrUnconvertibleFieldKeepsThatDateOnly) {
    Answer(platform::RecordSet({"UID", "crDate"}, {{std::string("alice"), platform::Date{45000.0}}}));
    w.PressNext();
    EXPECT_EQ(w.state.ProfileCrDate, (platform::Date{45000.0}));
    EXPECT_EQ(w.state.ProfileLuDate, (platform::Date{2.0}));
    EXPECT_EQ(w.wizard().CurrentStep(), 3);

    SignInWizard v;
    v.ToSignInPage();
    v.state.ProfileCrDate = platform::Date{1.0};
    v.state.ProfileLuDate = platform::Date{2.0};
    v.tp.records.fallback = [](const std::string&) {
        return AccountReply(1, std::string("no date at all"), platform::Date{45200.0});
    };
    v.PressNext();
    EXPECT_EQ(v.state.ProfileCrDate, (platform::Date{1.0}));
    EXPECT_EQ(v.state.ProfileLuDate, (platform::Date{45200.0}));
    EXPECT_EQ(v.wizard().CurrentStep(), 3);
}

TEST_F(AccountCheck, ZeroOrTwoRecordsShowTheInvalidLoginMessageAndStay) {
    for (int records : {0, 2}) {
        w.tp.ui.shown.clear();
        Answer(AccountReply(records));
        w.PressNext();
        ASSERT_EQ(w.tp.ui.shown.size(), 1u) << records;
        ExpectPlainBox(w.tp.ui.shown[0], InvalidLogin());
        EXPECT_EQ(w.wizard().CurrentStep(), 2);
        EXPECT_EQ(w.state.ProfileCrDate, (platform::Date{1.0}));
        EXPECT_EQ(w.state.ProfileLuDate, (platform::Date{2.0}));
        EXPECT_EQ(w.audits, 0);
    }
}

TEST_F(AccountCheck, ACorrectedPasswordIsCheckedAgainAndPasses) {
    w.page2->Text1()->setText("alice");
    w.page2->Text2()->setText("wrong");
    const std::string good = w.Address(service::AccountRequest("alice", "right"));
    w.tp.records.fallback = [good](const std::string& a) { return AccountReply(a == good ? 1 : 0); };
    w.PressNext();
    EXPECT_EQ(w.wizard().CurrentStep(), 2);
    w.page2->Text2()->setText("right");
    w.PressNext();
    EXPECT_EQ(w.tp.records.requested.size(), 2u);
    EXPECT_EQ(w.tp.records.requested.back(), good);
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
    EXPECT_EQ(w.tp.ui.shown.size(), 1u);
}

TEST_F(AccountCheck, AFailedRequestIsNoAcceptedAccountAndTheNextPressTriesAgain) {
    w.page2->Text1()->setText("alice");
    w.tp.records.down = true;
    w.PressNext();
    ASSERT_EQ(w.tp.ui.shown.size(), 1u);
    ExpectPlainBox(w.tp.ui.shown[0], Unreachable());
    EXPECT_EQ(w.wizard().CurrentStep(), 2);
    EXPECT_EQ(w.audits, 0);
    EXPECT_EQ(w.state.ProfileCrDate, (platform::Date{1.0}));
    EXPECT_EQ(w.state.UserName, "alice");
    EXPECT_TRUE(w.page2->Text1()->isEnabled());

    w.tp.records.down = false;
    Answer(AccountReply(1));
    w.PressNext();
    EXPECT_EQ(w.tp.records.requested.size(), 2u);
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
    EXPECT_EQ(w.tp.ui.shown.size(), 1u);
}

// --- Esc or a close pressed while the service is asked ------------------------------------------

class CancelDuringRequest : public ::testing::Test {
protected:
    void SetUp() override {
        w.ToSignInPage();
        w.wizard().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w.wizard()));
    }
    // The request answers `reply` (or fails without one); meanwhile the user presses Esc, which
    // the window sees only once the blocking request has returned.
    void EscDuringRequest(std::optional<platform::RecordSet> reply) {
        w.tp.records.fallback = [this, reply](const std::string&) {
            QMetaObject::invokeMethod(
                &w.wizard(), [this] { QTest::keyClick(&w.wizard(), Qt::Key_Escape); }, Qt::QueuedConnection);
            if (!reply) throw platform::PlatformError("timed out");
            return *reply;
        };
    }
    SignInWizard w;
};

TEST_F(CancelDuringRequest, AConfirmedEscDuringTheAccountCheckClosesTheWizardInsteadOfAnyMessage) {
    QSignalSpy closed(&w.wizard(), &wizard::CWizard::closed);
    EscDuringRequest(std::nullopt);
    w.tp.ui.answers = {platform::Answer::Yes};
    w.PressNext();
    ASSERT_EQ(w.tp.ui.shown.size(), 1u);
    EXPECT_EQ(w.tp.ui.shown[0].text, "Are you sure you want to cancel the wizard?");
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(w.audits, 0);
}

TEST_F(CancelDuringRequest, AConfirmedEscDuringAnAcceptedCheckDoesNotStartTheRun) {
    QSignalSpy closed(&w.wizard(), &wizard::CWizard::closed);
    EscDuringRequest(AccountReply(1));
    w.tp.ui.answers = {platform::Answer::Yes};
    w.PressNext();
    EXPECT_EQ(w.tp.ui.shown.size(), 1u);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(w.audits, 0);
}

TEST_F(CancelDuringRequest, ARefusedEscLetsTheCheckGoOnAsBefore) {
    QSignalSpy closed(&w.wizard(), &wizard::CWizard::closed);
    EscDuringRequest(AccountReply(1));
    w.tp.ui.answers = {platform::Answer::No};
    w.PressNext();
    EXPECT_EQ(w.tp.ui.shown.size(), 1u);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
    EXPECT_EQ(w.audits, 1);
}

TEST_F(CancelDuringRequest, AConfirmedEscDuringTheRegistrationDoesNotStartTheRun) {
    QSignalSpy closed(&w.wizard(), &wizard::CWizard::closed);
    w.page2->Option1(1)->click();
    EscDuringRequest(platform::RecordSet{});
    w.tp.ui.answers = {platform::Answer::Yes};
    w.PressNext();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(w.audits, 0);
}

TEST_F(CancelDuringRequest, ASecondNextOrABackDuringTheRequestStartsNothing) {
    w.tp.records.fallback = [this](const std::string&) {
        QMetaObject::invokeMethod(
            &w.wizard(),
            [this] {
                w.PressNext();
                w.PressBack();
            },
            Qt::QueuedConnection);
        return AccountReply(1);
    };
    w.PressNext();
    EXPECT_EQ(w.tp.records.requested.size(), 1u);
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
    EXPECT_EQ(w.audits, 1);
}

// --- The evaluation path -------------------------------------------------------------------------

class EvaluationPath : public ::testing::Test {
protected:
    void SetUp() override {
        w.ToSignInPage();
        w.page2->Option1(1)->click();
        ASSERT_FALSE(w.state.IsSubscriber);
    }
    SignInWizard w;
};

TEST_F(EvaluationPath, RegistersTheIdentifierCutFromANewGuidAndMovesOn) {
    w.tp.guids.guids.push_back({0x1A2B3C4D, 1, 2, {}});
    w.PressNext();
    EXPECT_EQ(w.state.EvalID, "Eval2B3C4");
    EXPECT_EQ(w.tp.records.requested,
              (std::vector<std::string>{w.state.ServerPath + "gettemp.asp?TempID=Eval2B3C4"}));
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
    EXPECT_EQ(w.audits, 1);
    EXPECT_EQ(w.wizard().FocusReturnHandle(), w.wizard().cmdStepFwd());
    EXPECT_TRUE(w.state.EvalRegistered);
}

TEST_F(EvaluationPath, EveryPressMakesAFreshIdentifier) {
    w.tp.guids.guids.push_back({0x1A2B3C4D, 0, 0, {}});
    w.tp.guids.guids.push_back({0xF00, 0, 0, {}});
    w.PressNext();
    w.PressBack();
    ASSERT_EQ(w.wizard().CurrentStep(), 2);
    w.PressNext();
    EXPECT_EQ(w.state.EvalID, "Eval000F0");
    EXPECT_EQ(w.tp.records.requested.back(), w.state.ServerPath + "gettemp.asp?TempID=Eval000F0");
    EXPECT_EQ(w.tp.records.requested.size(), 2u);
}

TEST_F(EvaluationPath, NoGuidGivesEvalAloneAndTheRequestIsStillMade) {
    w.tp.guids.status = 5;
    w.PressNext();
    EXPECT_EQ(w.state.EvalID, "Eval");
    ASSERT_EQ(w.tp.records.requested.size(), 1u);
    EXPECT_NE(w.tp.records.requested[0].find("TempID=Eval"), std::string::npos);
    EXPECT_EQ(w.tp.records.requested[0], w.state.ServerPath + "gettemp.asp?TempID=Eval");
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
}

TEST_F(EvaluationPath, AFailedRegistrationIsIgnored) {
    w.state.EvalRegistered = true;  // left over from an earlier press
    w.tp.records.down = true;
    w.PressNext();
    EXPECT_TRUE(w.tp.ui.shown.empty());
    EXPECT_EQ(w.wizard().CurrentStep(), 3);
    // Remembered, so that the end of the run does not present the username as usable.
    EXPECT_FALSE(w.state.EvalRegistered);
}

// --- Other steps ---------------------------------------------------------------------------------

TEST(OtherSteps, NextOnTheProgressPageOnlyStepsForward) {
    SignInWizard w;
    w.ToSignInPage();
    w.tp.records.fallback = [](const std::string&) { return AccountReply(1); };
    w.PressNext();
    ASSERT_EQ(w.wizard().CurrentStep(), 3);
    w.tp.records.requested.clear();
    w.wizard().SetFocusReturnHandle(nullptr);
    w.PressNext();
    EXPECT_EQ(w.wizard().CurrentStep(), 4);
    EXPECT_TRUE(w.tp.records.requested.empty());
    EXPECT_TRUE(w.tp.network.calls.empty());
    EXPECT_EQ(w.wizard().FocusReturnHandle(), w.wizard().cmdStepFwd());
    // On the last page Next is disabled; the handler itself asks for a step that the engine refuses.
    w.CallNext();
    EXPECT_EQ(w.wizard().CurrentStep(), 4);
}

}  // namespace
