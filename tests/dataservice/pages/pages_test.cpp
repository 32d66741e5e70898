// The pages over HTTP, through the in-process server: what each answers and what it stores.
#include <algorithm>
#include <thread>

#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

std::string text(const platform::FieldValue& v) {
    const auto* s = std::get_if<std::string>(&v);
    return s ? *s : std::string("<not text>");
}

std::vector<std::pair<std::string, std::string>> itemsOf(Store& store, const std::string& name) {
    std::vector<std::pair<std::string, std::string>> out;
    const auto profile = store.profiles().named(name);
    if (!profile) return out;
    for (const Item& item : store.inventory().items(profile->id)) out.emplace_back(item.category, item.text);
    return out;
}

class VersionPage : public BackendServiceFixture {};

TEST_P(VersionPage, AllowsTheVersionANewDatabaseListsAndRefusesOthers) {
    EXPECT_EQ(records("/getversion.asp?Major=1&Minor=1&Rev=11").RecordCount(), 1);
    EXPECT_EQ(records("/getversion.asp?Major=1&Minor=1&Rev=10").RecordCount(), 0);
    EXPECT_EQ(records("/getversion.asp?Major=2&Minor=1&Rev=11").RecordCount(), 0);
    EXPECT_EQ(records("/getversion.asp?Major=one&Minor=1&Rev=11").RecordCount(), 0);
    EXPECT_EQ(records("/getversion.asp?Major=&Minor=&Rev=").RecordCount(), 0);
}

TEST_P(VersionPage, FollowsTheTableOfAllowedVersions) {
    store->versions().allow(Version{1, 1, 10});
    EXPECT_EQ(records("/getversion.asp?Major=1&Minor=1&Rev=10").RecordCount(), 1);
    ASSERT_TRUE(store->versions().disallow(Version{1, 1, 11}));
    EXPECT_EQ(records("/getversion.asp?Major=1&Minor=1&Rev=11").RecordCount(), 0);
}

class AccountPage : public BackendServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(store->profiles().addAccount("alice", "Correct Horse"));
    }
};

TEST_P(AccountPage, AcceptsTheRightPasswordWithNameAndTheTwoProfileDates) {
    const auto reply = records("/getdata.asp?UID=alice&PWD=" + encode("Correct Horse"));
    ASSERT_EQ(reply.RecordCount(), 1);
    EXPECT_EQ(text(reply.Field(0)), "alice");
    const auto profile = store->profiles().subscriber("alice");
    ASSERT_TRUE(profile);
    // Both are dates (dateTime columns), and a new account was last updated when it was made.
    ASSERT_TRUE(std::holds_alternative<platform::Date>(reply.Field(1)));
    ASSERT_TRUE(std::holds_alternative<platform::Date>(reply.Field(2)));
    EXPECT_EQ(std::get<platform::Date>(reply.Field(1)), std::get<platform::Date>(reply.Field(2)));
    EXPECT_EQ(profile->created, profile->lastUpdate);
}

TEST_P(AccountPage, RefusesAWrongPasswordAnUnknownNameAndEmptyValues) {
    EXPECT_EQ(records("/getdata.asp?UID=alice&PWD=correct+horse").RecordCount(), 0);
    EXPECT_EQ(records("/getdata.asp?UID=alice&PWD=").RecordCount(), 0);
    EXPECT_EQ(records("/getdata.asp?UID=Alice&PWD=" + encode("Correct Horse")).RecordCount(), 0);
    EXPECT_EQ(records("/getdata.asp?UID=bob&PWD=" + encode("Correct Horse")).RecordCount(), 0);
    EXPECT_EQ(records("/getdata.asp?UID=&PWD=").RecordCount(), 0);
}

TEST_P(AccountPage, ForgetsAVerifiedPasswordOnceTheAccountIsMadeAgain) {
    ASSERT_EQ(records("/getdata.asp?UID=alice&PWD=" + encode("Correct Horse")).RecordCount(), 1);
    ASSERT_TRUE(store->profiles().removeAccount("alice"));
    EXPECT_EQ(records("/getdata.asp?UID=alice&PWD=" + encode("Correct Horse")).RecordCount(), 0);
    ASSERT_TRUE(store->profiles().addAccount("alice", "new one"));
    EXPECT_EQ(records("/getdata.asp?UID=alice&PWD=" + encode("Correct Horse")).RecordCount(), 0);
    EXPECT_EQ(records("/getdata.asp?UID=alice&PWD=new+one").RecordCount(), 1);
}

TEST_P(AccountPage, FinalizeMovesTheLastUpdateDateAndMarksTheRunComplete) {
    const auto before = store->profiles().subscriber("alice");
    ASSERT_TRUE(before);
    ASSERT_EQ(records("/updatedata.asp?UID=alice&PWD=Correct+Horse&crDate=x&luDate=y").RecordCount(), 0);
    EXPECT_TRUE(store->profiles().subscriber("alice")->runStarted);
    EXPECT_FALSE(store->profiles().subscriber("alice")->runCompleted);
    ASSERT_EQ(records("/finalize.asp?UID=alice&PWD=wrong").RecordCount(), 0);
    EXPECT_FALSE(store->profiles().subscriber("alice")->runCompleted);
    ASSERT_EQ(records("/finalize.asp?UID=alice&PWD=Correct+Horse").RecordCount(), 0);
    const auto after = store->profiles().subscriber("alice");
    ASSERT_TRUE(after->runCompleted);
    EXPECT_EQ(after->lastUpdate, *after->runCompleted);
    EXPECT_EQ(after->created, before->created);
    EXPECT_GE(after->lastUpdate, before->lastUpdate);
}

class Uploads : public AccountPage {
protected:
    std::string creds() const { return "&PWD=" + encode("Correct Horse"); }
};

TEST_P(Uploads, ResetThenEveryUploadPageStoresItsItemInArrivalOrder) {
    const auto pre = store->profiles().subscriber("alice");
    store->inventory().add(pre->id, "Software", "left over from the last run");
    get("/updatedata.asp?UID=alice" + creds() + "&crDate=1%2F2%2F2020&luDate=3%2F4%2F2021");
    EXPECT_TRUE(itemsOf(*store, "alice").empty());

    get("/sftdata.asp?UID=alice&qIS=Editor+2.0" + creds());
    get("/sounddata.asp?UID=alice&Sound=HD+Audio" + creds());
    get("/videodata.asp?UID=alice&Video=VGA+1.2" + creds());
    get("/printdata.asp?UID=alice&Printer=Laser" + creds());
    get("/MMSdata.asp?UID=alice&MMS=Maker+Model" + creds());
    get("/mainhwddata.asp?UID=alice&ConfigDate=5%2F6%2F2024&BIOS=Firmware+9" + creds());
    get("/OSdata.asp?UID=alice&OS=Linux" + creds());
    get("/NICdata.asp?UID=alice&NIC=eth0" + creds());
    get("/sftdata.asp?UID=alice&qIS=Browser" + creds());

    EXPECT_THAT(itemsOf(*store, "alice"),
                ElementsAre(Pair("Software", "Editor 2.0"), Pair("Sound", "HD Audio"), Pair("Video", "VGA 1.2"),
                            Pair("Printer", "Laser"), Pair("MMS", "Maker Model"), Pair("BIOS", "Firmware 9"),
                            Pair("OS", "Linux"), Pair("NIC", "eth0"), Pair("Software", "Browser")));
    const auto items = store->inventory().items(store->profiles().subscriber("alice")->id);
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), [](auto& a, auto& b) { return a.seq < b.seq; }));
    EXPECT_EQ(items[5].configDate, std::optional<std::string>("5/6/2024"));
    EXPECT_FALSE(items[0].configDate);
}

TEST_P(Uploads, AnswerAnEmptyRecordSet) {
    const auto reply = records("/sftdata.asp?UID=alice&qIS=x" + creds());
    EXPECT_EQ(reply.RecordCount(), 0);
}

TEST_P(Uploads, AWrongPasswordOrUnknownNameStoresNothing) {
    get("/sftdata.asp?UID=alice&qIS=kept" + creds());
    EXPECT_EQ(get("/updatedata.asp?UID=alice&PWD=bad&crDate=&luDate=").first, 200);
    EXPECT_EQ(get("/sftdata.asp?UID=alice&qIS=intruder&PWD=bad").first, 200);
    EXPECT_EQ(get("/mainhwddata.asp?UID=alice&ConfigDate=1&BIOS=intruder&PWD=").first, 200);
    EXPECT_EQ(get("/sftdata.asp?UID=mallory&qIS=intruder" + creds()).first, 200);
    EXPECT_THAT(itemsOf(*store, "alice"), ElementsAre(Pair("Software", "kept")));
    EXPECT_FALSE(store->profiles().named("mallory"));
}

TEST_P(Uploads, OddValuesAreStoredExactly) {
    const std::vector<std::string> odd = {
        "a&b=c#d%e+f g", "\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9", "", "<b>\"quoted\" & 'single'</b>",
        "tab\there\nnew line", std::string("nul\0byte", 8), "\xFF\xFE not UTF-8", std::string(3000, 'x'),
    };
    for (const auto& value : odd) get("/sftdata.asp?UID=alice&qIS=" + encode(value) + creds());
    const auto items = store->inventory().items(store->profiles().subscriber("alice")->id);
    ASSERT_EQ(items.size(), odd.size());
    for (std::size_t i = 0; i < odd.size(); ++i) EXPECT_EQ(items[i].text, odd[i]) << i;
}

TEST_P(Uploads, PlusMeansBlankAndBadEscapesStayAsSent) {
    get("/sftdata.asp?UID=alice&qIS=one+two%2Bthree%zz%4" + creds());
    EXPECT_THAT(itemsOf(*store, "alice"), ElementsAre(Pair("Software", "one two+three%zz%4")));
}

TEST_P(Uploads, KeysMayComeInAnyOrderAndTheFirstOfARepeatedKeyCounts) {
    get("/sftdata.asp?PWD=" + encode("Correct Horse") + "&qIS=first&UID=alice&qIS=second");
    EXPECT_THAT(itemsOf(*store, "alice"), ElementsAre(Pair("Software", "first")));
}

class EvaluationTwins : public BackendServiceFixture {};

TEST_P(EvaluationTwins, StoreForARegisteredIdentifierWithoutAPassword) {
    EXPECT_EQ(records("/gettemp.asp?TempID=Eval2B3C4").RecordCount(), 0);
    ASSERT_TRUE(store->profiles().evaluation("Eval2B3C4"));
    get("/evalupdatedata.asp?UID=Eval2B3C4");
    get("/evalsftdata.asp?UID=Eval2B3C4&qIS=Editor");
    get("/evalsounddata.asp?UID=Eval2B3C4&Sound=Speaker");
    get("/evalvideodata.asp?UID=Eval2B3C4&Video=VGA");
    get("/evalprintdata.asp?UID=Eval2B3C4&Printer=Inkjet");
    get("/evalMMSdata.asp?UID=Eval2B3C4&MMS=Box");
    get("/evalmainhwddata.asp?UID=Eval2B3C4&ConfigDate=today&BIOS=Firmware");
    get("/evalOSdata.asp?UID=Eval2B3C4&OS=Linux");
    get("/evalNICdata.asp?UID=Eval2B3C4&NIC=wlan0");
    EXPECT_THAT(itemsOf(*store, "Eval2B3C4"),
                ElementsAre(Pair("Software", "Editor"), Pair("Sound", "Speaker"), Pair("Video", "VGA"),
                            Pair("Printer", "Inkjet"), Pair("MMS", "Box"), Pair("BIOS", "Firmware"),
                            Pair("OS", "Linux"), Pair("NIC", "wlan0")));
    EXPECT_EQ(store->inventory().items(store->profiles().evaluation("Eval2B3C4")->id)[5].configDate, std::optional<std::string>("today"));

    get("/evalupdatedata.asp?UID=Eval2B3C4");
    EXPECT_TRUE(itemsOf(*store, "Eval2B3C4").empty());
}

TEST_P(EvaluationTwins, RefuseAnUnknownIdentifier) {
    get("/gettemp.asp?TempID=EvalAAAAA");
    EXPECT_EQ(get("/evalsftdata.asp?UID=EvalBBBBB&qIS=Editor").first, 200);
    EXPECT_EQ(get("/evalupdatedata.asp?UID=EvalBBBBB").first, 200);
    EXPECT_FALSE(store->profiles().named("EvalBBBBB"));
    EXPECT_TRUE(itemsOf(*store, "EvalAAAAA").empty());
}

TEST_P(EvaluationTwins, AreNotReachableWithASubscribersName) {
    ASSERT_TRUE(store->profiles().addAccount("carol", "pw"));
    get("/evalsftdata.asp?UID=carol&qIS=sneaked+in");
    get("/sftdata.asp?UID=EvalAAAAA&qIS=x&PWD=");
    EXPECT_TRUE(itemsOf(*store, "carol").empty());
}

TEST_P(EvaluationTwins, RegisteringAgainKeepsTheProfile) {
    get("/gettemp.asp?TempID=Eval12345");
    get("/evalsftdata.asp?UID=Eval12345&qIS=kept");
    get("/gettemp.asp?TempID=Eval12345");
    EXPECT_THAT(itemsOf(*store, "Eval12345"), ElementsAre(Pair("Software", "kept")));
}

class Routing : public ServiceFixture {};

TEST_F(Routing, AMissingKeyIsABadRequestAndStoresNothing) {
    ASSERT_TRUE(store->profiles().addAccount("dave", "pw"));
    EXPECT_EQ(get("/getversion.asp?Major=1&Minor=1").first, 400);
    EXPECT_EQ(get("/getdata.asp?UID=dave").first, 400);
    EXPECT_EQ(get("/gettemp.asp").first, 400);
    EXPECT_EQ(get("/updatedata.asp?UID=dave&PWD=pw&crDate=x").first, 400);
    EXPECT_EQ(get("/evalupdatedata.asp").first, 400);
    EXPECT_EQ(get("/sftdata.asp?UID=dave&PWD=pw").first, 400);
    EXPECT_EQ(get("/mainhwddata.asp?UID=dave&BIOS=b&PWD=pw").first, 400);
    EXPECT_EQ(get("/evalNICdata.asp?UID=EvalX").first, 400);
    EXPECT_EQ(get("/finalize.asp?PWD=pw").first, 400);
    EXPECT_TRUE(itemsOf(*store, "dave").empty());
    EXPECT_FALSE(store->profiles().subscriber("dave")->runCompleted);
    // An empty value is present, not missing.
    EXPECT_EQ(get("/sftdata.asp?UID=dave&qIS=&PWD=pw").first, 200);
    EXPECT_THAT(itemsOf(*store, "dave"), ElementsAre(Pair("Software", "")));
}

TEST_F(Routing, AnUnknownPageIsNotFound) {
    EXPECT_EQ(get("/").first, 404);
    EXPECT_EQ(get("/nosuchpage.asp?UID=x").first, 404);
    EXPECT_EQ(get("/evalfinalize.asp?UID=x").first, 404);  // finalize has no twin
    EXPECT_EQ(get("/getversion.asp/?Major=1&Minor=1&Rev=11").first, 404);
    EXPECT_EQ(get("/hwsw.asp?UID=x").first, 404);  // the profile page sits in its folder
}

TEST_F(Routing, PageNamesMatchInAnyCaseAndBelowAnyFolder) {
    EXPECT_EQ(records("/GETVERSION.ASP?Major=1&Minor=1&Rev=11").RecordCount(), 1);
    EXPECT_EQ(records("/vantrel/getversion.asp?Major=1&Minor=1&Rev=11").RecordCount(), 1);
    EXPECT_EQ(records("/a/b/c/GetVersion.Asp?major=1&MINOR=1&rev=11").RecordCount(), 1);
    get("/svc/GetTemp.asp?TempID=EvalCASE1");
    get("/svc/EVALSFTDATA.ASP?UID=EvalCASE1&qis=found");
    EXPECT_THAT(itemsOf(*store, "EvalCASE1"), ElementsAre(Pair("Software", "found")));
}

TEST_F(Routing, RepliesAreRecordSetsInUtf8Xml) {
    const auto res = client->Get("/getversion.asp?Major=1&Minor=1&Rev=11");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/xml; charset=utf-8");
}

TEST_F(Routing, AnOverlongRequestIsRefusedAndTheServerGoesOn) {
    const std::string huge = "/sftdata.asp?UID=x&qIS=" + std::string(20000, 'a') + "&PWD=y";
    const std::string reply = rawExchange(server->port(), "GET " + huge + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(rawStatus(reply), 414);
    EXPECT_EQ(records("/getversion.asp?Major=1&Minor=1&Rev=11").RecordCount(), 1);
    // Refused before any work: the journal holds only the request that was served.
    ASSERT_EQ(store->journal().all().size(), 1u);
    EXPECT_EQ(store->journal().all().front().page, "getversion.asp");
}

TEST_F(Routing, OtherMethodsStoreNothing) {
    ASSERT_TRUE(store->profiles().addAccount("erin", "pw"));
    const auto res = client->Post("/sftdata.asp?UID=erin&qIS=posted&PWD=pw", "body", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_GE(res->status, 400);
    EXPECT_TRUE(itemsOf(*store, "erin").empty());
}

class Journal : public BackendServiceFixture {
protected:
    std::string journalFile() override { return dir.file("journal.txt"); }
};

TEST_P(Journal, KeepsEveryServedRequestInOrderWithDecodedValuesAndItsStatus) {
    ASSERT_TRUE(store->profiles().addAccount("frank", "pa ss"));
    get("/getversion.asp?Major=1&Minor=1&Rev=11");
    get("/vantrel/getdata.asp?UID=frank&PWD=pa+ss");
    get("/sftdata.asp?UID=frank&qIS=" + encode("a&b=c#d%e+f g") + "&PWD=pa+ss");
    get("/missing.asp?x=1");
    get("/sftdata.asp?UID=frank");

    // The unknown page and the missing key were refused before any work: not journalled.
    const auto journal = store->journal().all();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0].page, "getversion.asp");
    EXPECT_THAT(journal[0].params, ElementsAre(Pair("Major", "1"), Pair("Minor", "1"), Pair("Rev", "11")));
    EXPECT_EQ(journal[1].path, "/vantrel/getdata.asp");
    EXPECT_EQ(journal[1].page, "getdata.asp");
    EXPECT_THAT(journal[1].params, ElementsAre(Pair("UID", "frank"), Pair("PWD", "***")));
    EXPECT_THAT(journal[2].params,
                ElementsAre(Pair("UID", "frank"), Pair("qIS", "a&b=c#d%e+f g"), Pair("PWD", "***")));
    EXPECT_EQ(journal[2].status, 200);
    for (std::size_t i = 1; i < journal.size(); ++i) EXPECT_EQ(journal[i].seq, journal[i - 1].seq + 1);
}

TEST_P(Journal, NeverHoldsThePasswordInTheDatabaseOrTheFile) {
    const std::string secret = "Zebra-Secret-4711";
    ASSERT_TRUE(store->profiles().addAccount("gina", secret));
    get("/getdata.asp?UID=gina&PWD=" + secret);
    get("/sftdata.asp?UID=gina&qIS=x&pwd=" + secret);  // keys match in any case, so does the mask
    get("/getdata.asp?UID=gina&PWD=wrong-" + secret);
    server->stop();
    store.reset();  // closes the database, folding the write-ahead log into the file

    const std::string file = readFile(journalFile());
    EXPECT_NE(file.find("PWD=***"), std::string::npos);
    EXPECT_NE(file.find("pwd=***"), std::string::npos);
    for (const char* name : {"service.db", "service.db-wal", "journal.txt"})
        EXPECT_EQ(readFile(dir.file(name)).find(secret), std::string::npos) << name;
    store = std::make_unique<Store>(database->target(), StoreOptions{kTestIterations});
    server = std::make_unique<Server>(*store);
    server->start();
}

TEST_P(Journal, FileLinesMatchTheTable) {
    get("/gettemp.asp?TempID=" + encode("line\nbreak\tand tab"));
    const auto journal = store->journal().all();
    ASSERT_EQ(journal.size(), 1u);
    const std::string file = readFile(journalFile());
    EXPECT_EQ(file, journalLine(journal[0]) + "\n");
    EXPECT_NE(file.find("TempID=line%0Abreak%09and tab"), std::string::npos);
}

class ProfilePage : public BackendServiceFixture {};

TEST_P(ProfilePage, ListsTheItemsByCategoryWithMarkupEscaped) {
    ASSERT_TRUE(store->profiles().addAccount("hank", "pw"));
    get("/sftdata.asp?UID=hank&qIS=" + encode("<script>alert('x')</script> & more") + "&PWD=pw");
    get("/OSdata.asp?UID=hank&OS=" + encode("\"Quoted\" OS") + "&PWD=pw");
    get("/sftdata.asp?UID=hank&qIS=Second&PWD=pw");
    const std::string session = signIn("hank", "pw");
    ASSERT_FALSE(session.empty());
    const auto [status, html] = getWith("/profile/hwsw.asp", session);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; more"), std::string::npos);
    EXPECT_NE(html.find("&quot;Quoted&quot; OS"), std::string::npos);
    const auto software = html.find("Installed software</h2>");
    const auto os = html.find("Operating system</h2>");
    ASSERT_NE(software, std::string::npos);
    ASSERT_NE(os, std::string::npos);
    EXPECT_LT(html.find("Second"), os);  // both programs under their heading
    EXPECT_GT(html.find("Second"), software);
}

TEST_P(ProfilePage, EscapesTheNameOfAnUnknownProfileAndAsksForANameWithoutOne) {
    const auto [status, html] = get("/profile/hwsw.asp?UID=" + encode("<img src=x onerror=y>"));
    EXPECT_EQ(status, 200);  // a stranger gets the sign-in form, the name pre-filled
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_NE(html.find("&lt;img src=x onerror=y&gt;"), std::string::npos);
    const auto [bare, form] = get("/profile/hwsw.asp");
    EXPECT_EQ(bare, 200);
    EXPECT_NE(form.find("name=\"UID\""), std::string::npos);
}

}  // namespace
}  // namespace dataservice::testing

namespace dataservice::testing {
namespace {

class ServerLifecycle : public ServiceFixture {};

TEST_F(ServerLifecycle, StoppingEndsIdleKeptAliveConnections) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(server->port()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string request = "GET /getversion.asp?Major=1&Minor=1&Rev=11 HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    std::string reply;
    char buf[4096];
    while (!completeResponse(reply)) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_GT(poll(&p, 1, 5000), 0);
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        ASSERT_GT(n, 0);
        reply.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(rawStatus(reply), 200);

    // While our end stays open, stopping ends the server's end well before its keep-alive
    // time (longer than the wait here) would have.
    client.reset();
    std::thread stopping([this] { server->stop(); });
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, 5000);
    const ssize_t n = ready > 0 ? recv(fd, buf, sizeof buf, 0) : -1;
    stopping.join();
    close(fd);
    EXPECT_GT(ready, 0);
    EXPECT_EQ(n, 0);
}

TEST_F(ServerLifecycle, ConcurrentUploadsAreAllStoredEachInItsOwnOrder) {
    constexpr int kThreads = 4, kEach = 50;
    for (int t = 0; t < kThreads; ++t) ASSERT_TRUE(store->profiles().addAccount("user" + std::to_string(t), "pw"));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([this, t] {
            httplib::Client c("127.0.0.1", server->port());
            c.set_keep_alive(true);
            for (int i = 0; i < kEach; ++i)
                c.Get(("/sftdata.asp?UID=user" + std::to_string(t) + "&qIS=" + std::to_string(i) + "&PWD=pw").c_str());
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        const auto items = store->inventory().items(store->profiles().named("user" + std::to_string(t))->id);
        ASSERT_EQ(items.size(), static_cast<std::size_t>(kEach));
        for (int i = 0; i < kEach; ++i) EXPECT_EQ(items[i].text, std::to_string(i));
    }
    const auto journal = store->journal().all();
    EXPECT_EQ(journal.size(), static_cast<std::size_t>(kThreads * kEach));
}

INSTANTIATE_TEST_SUITE_P(Backends, VersionPage, kBackends, backendName);
INSTANTIATE_TEST_SUITE_P(Backends, AccountPage, kBackends, backendName);
INSTANTIATE_TEST_SUITE_P(Backends, Uploads, kBackends, backendName);
INSTANTIATE_TEST_SUITE_P(Backends, EvaluationTwins, kBackends, backendName);
INSTANTIATE_TEST_SUITE_P(Backends, Journal, kBackends, backendName);
INSTANTIATE_TEST_SUITE_P(Backends, ProfilePage, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
