// The sign-in page and Next against the real reference service, through the real HTTP client.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include <QRadioButton>
#include <gtest/gtest.h>

#include "platform/guid/guid.h"
#include "platform/recordset/recordset.h"
#include "tests/signin/harness.h"
#include "tests/support/dataservice_process.h"
#include "tests/support/scratch_dir.h"

namespace {

using signin_test::SignInWizard;

using JournalLine = process::JournalEntry;

class ReferenceService : public ::testing::Test {
protected:
    void SetUp() override {
        if (!process::dataServiceAvailable()) GTEST_SKIP() << "vantrel-dataservice is not built";
        ASSERT_EQ(service_.command({"add-account", "alice", "s3cret"}).status, 0);

        ASSERT_NO_THROW(service_.start());
        const std::string root = service_.address();
        ASSERT_EQ(root.rfind("http://127.0.0.1:", 0), 0u) << root;

        records_ = platform::makeHttpRecordSource();
        w_ = std::make_unique<SignInWizard>(root + "vantrel/", records_.get(), guids_.get());
        w_->ToSignInPage();
    }

    void TearDown() override {
        // The client lets go of its connection before the server stops.
        w_.reset();
        records_.reset();
        service_.stop();
    }

    // The requests the service received, in order: page and parameters as it recorded them.
    std::vector<JournalLine> Journal() {
        std::vector<JournalLine> lines;
        EXPECT_NO_THROW(lines = service_.journal());
        return lines;
    }

    void SignIn(const std::string& name, const std::string& password) {
        w_->page2->Text1()->setText(QString::fromStdString(name));
        w_->page2->Text2()->setText(QString::fromStdString(password));
        w_->PressNext();
    }

    ScratchDir dir_{"signin"};
    process::DataService service_{dir_.file("service.db")};
    std::unique_ptr<platform::RecordSource> records_;
    std::unique_ptr<platform::GuidSource> guids_ = platform::makeSystemGuidSource();
    std::unique_ptr<SignInWizard> w_;
};

TEST_F(ReferenceService, AnAcceptedAccountStoresBothDatesAndReachesTheProgressPage) {
    SignIn("alice", "s3cret");
    EXPECT_TRUE(w_->tp.ui.shown.empty());
    EXPECT_EQ(w_->wizard().CurrentStep(), 3);
    EXPECT_EQ(w_->audits, 1);
    // The account was made just now: both dates lie well after the zero date, and are the same.
    EXPECT_GT(w_->state.ProfileCrDate.days, 40000.0);
    EXPECT_EQ(w_->state.ProfileLuDate, w_->state.ProfileCrDate);
    const auto journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].page, "getdata.asp");
    EXPECT_NE(journal[0].params.find("UID=alice"), std::string::npos) << journal[0].params;
}

TEST_F(ReferenceService, AWrongPasswordIsRejectedAndTheCorrectedOnePasses) {
    SignIn("alice", "wrong");
    ASSERT_EQ(w_->tp.ui.shown.size(), 1u);
    EXPECT_EQ(w_->tp.ui.shown[0].text.rfind("The username and/or the password you enetered are not valid.", 0), 0u);
    EXPECT_EQ(w_->wizard().CurrentStep(), 2);
    EXPECT_EQ(w_->state.ProfileCrDate.days, 0.0);

    SignIn("alice", "s3cret");
    EXPECT_EQ(w_->tp.ui.shown.size(), 1u);
    EXPECT_EQ(w_->wizard().CurrentStep(), 3);
    EXPECT_GT(w_->state.ProfileCrDate.days, 40000.0);
    const auto journal = Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].page, "getdata.asp");
    EXPECT_EQ(journal[1].page, "getdata.asp");
}

TEST_F(ReferenceService, AStoppedServiceGivesTheUnreachableMessageAndStays) {
    service_.stop();
    SignIn("alice", "s3cret");
    ASSERT_EQ(w_->tp.ui.shown.size(), 1u);
    EXPECT_EQ(w_->tp.ui.shown[0].text.rfind("The VantrelNet service could not be reached", 0), 0u);
    EXPECT_EQ(w_->wizard().CurrentStep(), 2);
    EXPECT_EQ(w_->audits, 0);
    EXPECT_EQ(w_->state.ProfileCrDate.days, 0.0);
}

TEST_F(ReferenceService, TheEvaluationPathRegistersANineCharacterIdentifier) {
    w_->page2->Option1(1)->click();
    w_->PressNext();
    EXPECT_EQ(w_->wizard().CurrentStep(), 3);
    const std::string id = w_->state.EvalID;
    ASSERT_EQ(id.size(), 9u) << id;
    EXPECT_EQ(id.substr(0, 4), "Eval");
    for (char c : id.substr(4)) EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c)) && !std::islower(c)) << id;
    const auto journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].page, "gettemp.asp");
    EXPECT_EQ(journal[0].params, "TempID=" + id);
}

}  // namespace
