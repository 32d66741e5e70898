// The collector's own client against this server: every request it makes arrives as meant,
// and the replies it reads say what the server holds.
#include <algorithm>
#include <cstdio>

#include "platform/common/errors.h"
#include "client/service.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

class ClientRoundTrip : public ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        serverPath = server->address();
        source = platform::makeHttpRecordSource();
        service = std::make_unique<service::ServiceClient>(*source, serverPath);
        ASSERT_TRUE(store->profiles().addAccount("alice", "Correct Horse"));
    }
    void TearDown() override {
        service.reset();
        source.reset();  // its kept-alive connection goes before the server does
        ServiceFixture::TearDown();
    }

    std::vector<std::pair<std::string, std::string>> items(const std::string& name) {
        std::vector<std::pair<std::string, std::string>> out;
        if (const auto p = store->profiles().named(name))
            for (const Item& item : store->inventory().items(p->id)) out.emplace_back(item.category, item.text);
        return out;
    }

    // The same instant as the server's "YYYY-MM-DDTHH:MM:SS" text.
    static platform::Date serverDate(const std::string& text) {
        platform::CivilTime t;
        EXPECT_EQ(std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                              &t.second),
                  6);
        return platform::dateFromCivil(t).value();
    }

    const service::Identity subscriber{true, "alice", "Correct Horse", ""};
    std::string serverPath;
    std::unique_ptr<platform::RecordSource> source;
    std::unique_ptr<service::ServiceClient> service;
};

TEST_F(ClientRoundTrip, TheVersionCheckIsAllowedRefusedOrFails) {
    EXPECT_EQ(service->ServiceRequest(service::VersionRequest(1, 1, 11)).RecordCount(), 1);
    EXPECT_EQ(service->ServiceRequest(service::VersionRequest(1, 1, 10)).RecordCount(), 0);
    store->versions().allow(Version{1, 1, 10});
    EXPECT_EQ(service->ServiceRequest(service::VersionRequest(1, 1, 10)).RecordCount(), 1);

    service.reset();
    source.reset();
    server->stop();
    source = platform::makeHttpRecordSource();
    service = std::make_unique<service::ServiceClient>(*source, serverPath);
    EXPECT_THROW(service->ServiceRequest(service::VersionRequest(1, 1, 11)), platform::PlatformError);
}

TEST_F(ClientRoundTrip, TheAccountCheckGivesOneRecordWithTheProfileDates) {
    const auto reply = service->ServiceRequest(service::AccountRequest("alice", "Correct Horse"));
    ASSERT_EQ(reply.RecordCount(), 1);
    const auto profile = store->profiles().subscriber("alice");
    EXPECT_EQ(service::FieldToDate(reply.Field(1)), serverDate(profile->created));
    EXPECT_EQ(service::FieldToDate(reply.Field(2)), serverDate(profile->lastUpdate));

    EXPECT_EQ(service->ServiceRequest(service::AccountRequest("alice", "correct horse")).RecordCount(), 0);
    EXPECT_EQ(service->ServiceRequest(service::AccountRequest("nobody", "Correct Horse")).RecordCount(), 0);
    EXPECT_EQ(service->ServiceRequest(service::AccountRequest("", "")).RecordCount(), 0);
}

TEST_F(ClientRoundTrip, ASubscribersRunStoresEveryItemUnchangedAndFinalizes) {
    store->inventory().add(store->profiles().subscriber("alice")->id, "Software", "from an earlier run");
    const auto account = service->ServiceRequest(service::AccountRequest("alice", "Correct Horse"));
    const auto created = service::FieldToDate(account.Field(1));
    const auto lastUpdated = service::FieldToDate(account.Field(2));

    const std::string today = service::DateText(platform::today());
    service->ServiceRequest(service::ProfileResetRequest(subscriber, created, lastUpdated));
    using service::Upload;
    service->ServiceRequest(service::UploadRequest(Upload::Software, subscriber, {"a&b=c#d%e+f g"}));
    service->ServiceRequest(service::UploadRequest(Upload::Sound, subscriber, {"\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9"}));
    service->ServiceRequest(service::UploadRequest(Upload::Video, subscriber, {""}));
    service->ServiceRequest(service::UploadRequest(Upload::Printer, subscriber, {"Printer; \"driver\" <1.0>"}));
    service->ServiceRequest(service::UploadRequest(Upload::MakeAndModel, subscriber, {"Maker Model 9"}));
    service->ServiceRequest(service::UploadRequest(Upload::Bios, subscriber, {today, "Firmware 1.2"}));
    service->ServiceRequest(service::UploadRequest(Upload::OperatingSystem, subscriber, {"Linux  Service Pack 0"}));
    service->ServiceRequest(service::UploadRequest(Upload::NetworkCard, subscriber, {"eth0 ?=&%"}));

    EXPECT_THAT(items("alice"),
                ElementsAre(Pair("Software", "a&b=c#d%e+f g"), Pair("Sound", "\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9"),
                            Pair("Video", ""), Pair("Printer", "Printer; \"driver\" <1.0>"),
                            Pair("MMS", "Maker Model 9"), Pair("BIOS", "Firmware 1.2"),
                            Pair("OS", "Linux  Service Pack 0"), Pair("NIC", "eth0 ?=&%")));
    EXPECT_EQ(store->inventory().items(store->profiles().subscriber("alice")->id)[5].configDate, std::optional<std::string>(today));

    // The reset carried the two dates as the client wrote them.
    const auto journal = store->journal().all();
    const auto reset = std::find_if(journal.begin(), journal.end(), [](auto& e) { return e.page == "updatedata.asp"; });
    ASSERT_NE(reset, journal.end());
    EXPECT_THAT(reset->params, ElementsAre(Pair("UID", "alice"), Pair("PWD", "***"),
                                           Pair("crDate", service::DateText(created)),
                                           Pair("luDate", service::DateText(lastUpdated))));

    service->ServiceRequest(service::FinalizeRequest(subscriber));
    const auto profile = store->profiles().subscriber("alice");
    ASSERT_TRUE(profile->runCompleted);
    const auto after = service->ServiceRequest(service::AccountRequest("alice", "Correct Horse"));
    EXPECT_EQ(service::FieldToDate(after.Field(2)), serverDate(profile->lastUpdate));
}

TEST_F(ClientRoundTrip, AWrongPasswordStoresNothing) {
    const service::Identity wrong{true, "alice", "Correct horse", ""};
    service->ServiceRequest(service::UploadRequest(service::Upload::Software, subscriber, {"kept"}));
    EXPECT_EQ(service->ServiceRequest(service::ProfileResetRequest(wrong, {}, {})).RecordCount(), 0);
    EXPECT_EQ(service->ServiceRequest(service::UploadRequest(service::Upload::Software, wrong, {"not kept"})).RecordCount(), 0);
    EXPECT_THAT(items("alice"), ElementsAre(Pair("Software", "kept")));
}

TEST_F(ClientRoundTrip, AnEvaluatingUsersRunGoesToTheTwinsOfARegisteredIdentifier) {
    const service::Identity eval{false, "", "", "Eval2B3C4"};
    const service::Identity unknown{false, "", "", "Eval99999"};
    EXPECT_EQ(service->ServiceRequest(service::RegistrationRequest("Eval2B3C4")).RecordCount(), 0);
    service->ServiceRequest(service::ProfileResetRequest(eval, {}, {}));
    service->ServiceRequest(service::UploadRequest(service::Upload::Software, eval, {"Editor & Co"}));
    service->ServiceRequest(service::UploadRequest(service::Upload::Bios, eval, {"1/2/2024", "Firmware"}));
    service->ServiceRequest(service::UploadRequest(service::Upload::Software, unknown, {"lost"}));
    EXPECT_THAT(items("Eval2B3C4"), ElementsAre(Pair("Software", "Editor & Co"), Pair("BIOS", "Firmware")));
    EXPECT_FALSE(store->profiles().named("Eval99999"));
    // The evaluation identifier of "no GUID" is "Eval" alone, and still works.
    service->ServiceRequest(service::RegistrationRequest("Eval"));
    service->ServiceRequest(service::UploadRequest(service::Upload::Sound, {false, "", "", "Eval"}, {"Speaker"}));
    EXPECT_THAT(items("Eval"), ElementsAre(Pair("Sound", "Speaker")));
}

TEST_F(ClientRoundTrip, AServerPathWithAFolderReachesTheSamePagesAndTheProfileSitsAtTheRoot) {
    serverPath = server->address() + "vantrel/";
    EXPECT_EQ(service->ServiceRequest(service::AccountRequest("alice", "Correct Horse")).RecordCount(), 1);
    const auto profile = service::ProfileAddress(serverPath);
    ASSERT_TRUE(profile);
    EXPECT_EQ(*profile, server->address() + "profile/hwsw.asp");
    EXPECT_EQ(get("/profile/hwsw.asp").first, 200);
}

}  // namespace
}  // namespace dataservice::testing
