// The version check's three outcomes over a scripted record source.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "platform/ui/ui.h"
#include "client/service.h"

#include "session/prompter.h"
#include "session/version_check.h"

namespace {

using session::VersionOutcome;

class ScriptedSource : public platform::RecordSource {
public:
    platform::RecordSet Open(const std::string& address) override {
        addresses.push_back(address);
        return reply();
    }
    platform::RecordSet OpenBriefly(const std::string& address) override {
        ++brief;
        return Open(address);
    }
    int brief = 0;
    std::function<platform::RecordSet()> reply;
    std::vector<std::string> addresses;
};

class RecordingUi : public platform::Ui {
public:
    platform::Answer Show(const platform::MessageBox& box) override {
        shown.push_back(box);
        return platform::Answer::OK;
    }
    void DoEvents() override {}
    [[noreturn]] void End() override { throw platform::ProgramEnded{}; }
    std::vector<platform::MessageBox> shown;
};

platform::RecordSet withRecords(int count) {
    std::vector<std::vector<platform::FieldValue>> rows(count, {std::int64_t{1}});
    return platform::RecordSet({"Major"}, rows);
}

class VersionCheck : public testing::Test {
protected:
    VersionOutcome check() { return session::CheckVersion(client_, prompter_, 1, 1, 11); }

    std::string serverPath_ = "http://vantrel.test/net/";
    ScriptedSource source_;
    service::ServiceClient client_{source_, serverPath_};
    RecordingUi ui_;
    session::UiPrompter prompter_{ui_};
};

TEST_F(VersionCheck, RunsWhenTheServiceListsTheVersion) {
    source_.reply = [] { return withRecords(1); };
    EXPECT_EQ(check(), VersionOutcome::Run);
    source_.reply = [] { return withRecords(3); };
    EXPECT_EQ(check(), VersionOutcome::Run);
    // Its failure is harmless, so it never waits as long as a request whose answer matters.
    EXPECT_EQ(source_.brief, 2);
    EXPECT_TRUE(ui_.shown.empty());
    EXPECT_EQ(source_.addresses.at(0), "http://vantrel.test/net/getversion.asp?Major=1&Minor=1&Rev=11");
}

TEST_F(VersionCheck, RefusesWithTheDownloadMessageWhenNoRecordComesBack) {
    source_.reply = [] { return withRecords(0); };
    EXPECT_EQ(check(), VersionOutcome::Refused);
    ASSERT_EQ(ui_.shown.size(), 1u);
    const platform::MessageBox& box = ui_.shown[0];
    EXPECT_EQ(box.text, "You are running Vantrel Collector v1.1.10. Go to " + service::SiteAddress() +
                            "/download/downloadnow.asp and download the most current version, "
                            "Vantrel Collector v1.1.11.");
    EXPECT_EQ(box.title, "Vantrel Collector");
    EXPECT_EQ(box.buttons, platform::Buttons::OK);
    EXPECT_EQ(box.icon, platform::Icon::None);
}

TEST_F(VersionCheck, FailsQuietlyWhenTheRequestOrReplyFails) {
    source_.reply = []() -> platform::RecordSet { throw platform::PlatformError("not a persisted record set"); };
    EXPECT_EQ(check(), VersionOutcome::Failed);
    source_.reply = []() -> platform::RecordSet { throw std::bad_alloc(); };
    EXPECT_EQ(check(), VersionOutcome::Failed);
    EXPECT_TRUE(ui_.shown.empty());
}

TEST(VersionCheckOverHttp, FailsQuietlyWithAnEmptyServerPath) {
    const auto source = platform::makeHttpRecordSource();
    const std::string serverPath;
    const service::ServiceClient client(*source, serverPath);
    RecordingUi ui;
    session::UiPrompter prompter(ui);
    EXPECT_EQ(session::CheckVersion(client, prompter, 1, 1, 11), VersionOutcome::Failed);
    EXPECT_TRUE(ui.shown.empty());
}

}  // namespace
