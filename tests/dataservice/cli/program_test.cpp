// The real program: its command line, and serving on a port it picks and prints.
#include "dataservice/cli/listing.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

class Program : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(GetParam());
        database = std::make_unique<TestDatabase>(GetParam(), dir);
    }
    std::string db() const { return database->target(); }
    ScratchDir dir;
    std::unique_ptr<TestDatabase> database;
};

TEST_P(Program, ServesOnThePortItPrintsUntilTerminated) {
    const std::string secret = "Program-Canary-Pw 1";
    ASSERT_EQ(run({"--db", db(), "add-account", "ivy", secret}).status, 0);

    process::DataService server(db(), {.args = {"--journal", dir.file("journal.txt")}});
    ASSERT_NO_THROW(server.start());
    const std::string line = server.line();
    const std::string prefix = "listening on http://127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const int port = std::atoi(line.c_str() + prefix.size());
    ASSERT_GT(port, 0);
    EXPECT_EQ(line, prefix + std::to_string(port) + "/");

    {
        httplib::Client client("127.0.0.1", port);
        client.set_url_encode(false);
        const auto version = client.Get("/getversion.asp?Major=1&Minor=1&Rev=11");
        ASSERT_TRUE(version);
        EXPECT_EQ(platform::ParseRecordSet(version->body).RecordCount(), 1);
        const std::string pw = "&PWD=" + encode(secret);
        const auto account = client.Get(("/getdata.asp?UID=ivy" + pw).c_str());
        ASSERT_TRUE(account);
        EXPECT_EQ(platform::ParseRecordSet(account->body).RecordCount(), 1);
        client.Get(("/updatedata.asp?UID=ivy" + pw + "&crDate=&luDate=").c_str());
        client.Get(("/sftdata.asp?UID=ivy&qIS=" + encode("a&b=c#d%e+f g") + pw).c_str());
        client.Get(("/NICdata.asp?UID=ivy&NIC=" + encode("tab\there") + pw).c_str());
        client.Get(("/mainhwddata.asp?UID=ivy&ConfigDate=6%2F7%2F2024&BIOS=" + encode("\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9") + pw).c_str());
    }

    // The command line reads the database while the server holds it.
    const Outcome items = run({"--db", db(), "list-items", "ivy"});
    EXPECT_EQ(items.status, 0);
    EXPECT_EQ(items.out, "Software\ta&b=c#d%25e+f g\nNIC\ttab%09here\nBIOS\t\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9\n");

    EXPECT_EQ(server.stop(), 0);

    const Outcome journal = run({"--db", db(), "list-journal"});
    EXPECT_EQ(journal.status, 0);
    EXPECT_NE(journal.out.find("\t/getdata.asp\tUID=ivy&PWD=***\n"), std::string::npos) << journal.out;
    EXPECT_EQ(readFile(dir.file("journal.txt")), journal.out);
    for (const char* file : {"service.db", "service.db-wal", "journal.txt"})
        EXPECT_EQ(readFile(dir.file(file)).find("Canary"), std::string::npos) << file;
}

TEST_P(Program, StopsOnAnInterruptToo) {
    process::DataService server(db());
    ASSERT_NO_THROW(server.start());
    ASSERT_NE(server.line().find("listening on"), std::string::npos);
    server.child().signal(SIGINT);
    EXPECT_EQ(server.child().wait(), 0);
}

TEST_P(Program, ManagesAccountsAndVersions) {
    EXPECT_EQ(run({"--db", db(), "add-account", "jo", "pw"}).status, 0);
    const Outcome again = run({"--db", db(), "add-account", "jo", "other"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("exists"), std::string::npos);
    EXPECT_EQ(run({"--db", db(), "add-account", "kim", "-"}, "from stdin\n").status, 0);
    EXPECT_EQ(run({"--db", db(), "add-account", "lee", "--starts-with-dashes"}).status, 0);
    EXPECT_EQ(run({"--db", db(), "list-accounts"}).out, "jo\nkim\nlee\n");
    {
        Store store(db());
        EXPECT_TRUE(verifyPassword("from stdin", store.profiles().credentials("kim")->passwordHash));
        EXPECT_TRUE(verifyPassword("--starts-with-dashes", store.profiles().credentials("lee")->passwordHash));
        // The program hashes with the full iteration count, whatever the tests use.
        EXPECT_EQ(passwordIterations(store.profiles().credentials("jo")->passwordHash), kDefaultPasswordIterations);
    }
    EXPECT_EQ(run({"--db", db(), "remove-account", "jo"}).status, 0);
    EXPECT_EQ(run({"--db", db(), "remove-account", "jo"}).status, 1);
    EXPECT_EQ(run({"--db", db(), "list-items", "jo"}).status, 1);

    EXPECT_EQ(run({"--db", db(), "allow-version", "1.1.12"}).status, 0);
    EXPECT_EQ(run({"--db", db(), "disallow-version", "1.1.11"}).status, 0);
    EXPECT_EQ(run({"--db", db(), "disallow-version", "1.1.11"}).status, 1);
    EXPECT_EQ(run({"--db", db(), "list-versions"}).out, "1.1.12\n");
    EXPECT_EQ(run({"--db", db(), "allow-version", "1.1"}).status, 2);
}

TEST_P(Program, RefusesAWrongCommandLine) {
    EXPECT_EQ(run({"list-accounts"}).status, 2);                           // no --db
    EXPECT_EQ(run({"--db", db()}).status, 2);                              // serving needs --port
    EXPECT_EQ(run({"--db", db(), "--port", "70000"}).status, 2);
    EXPECT_EQ(run({"--db", db(), "--port", "x"}).status, 2);
    EXPECT_EQ(run({"--db", db(), "--bogus"}).status, 2);
    EXPECT_EQ(run({"--db", db(), "frobnicate"}).status, 2);
    EXPECT_EQ(run({"--db", db(), "add-account", "only-a-name"}).status, 2);
    EXPECT_EQ(run({"--db", db(), "add-account", "", "pw"}).status, 2);
    EXPECT_EQ(run({"--help"}).status, 0);
}

TEST_P(Program, ListsTheCollectionsKeptAndTheItemsOfOne) {
    ASSERT_EQ(run({"--db", db(), "add-account", "uma", "pw"}).status, 0);
    std::int64_t first = 0;
    {
        StoreOptions options{kTestIterations};
        options.keepCollections = 2;  // the third reset drops the first
        Store store(db(), options);
        const std::int64_t id = store.profiles().subscriber("uma")->id;
        for (const char* text : {"old v1", "new v2", "newest v3"}) {
            store.inventory().reset(id);
            store.inventory().add(id, "Software", text);
            if (first == 0) first = store.inventory().collections(id).front().id;
            if (std::string(text) != "newest v3") store.inventory().finalize(id);
        }
    }
    const Outcome listed = run({"--db", db(), "list-collections", "uma"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_THAT(listed.out, ::testing::MatchesRegex("[0-9]+\t[-0-9T:]+\tincomplete\t1 items\n"
                                                    "[0-9]+\t[-0-9T:]+\t[-0-9T:]+\t1 items\n"));
    EXPECT_EQ(run({"--db", db(), "list-items", "uma"}).out, "Software\tnewest v3\n");
    EXPECT_EQ(run({"--db", db(), "list-items", "uma", "--collection", std::to_string(first + 1)}).out,
              "Software\tnew v2\n");
    EXPECT_EQ(run({"--db", db(), "list-items", "uma", "--collection", std::to_string(first)}).status, 1);
    EXPECT_EQ(run({"--db", db(), "list-items", "uma", "--collection", "x"}).status, 2);
    EXPECT_EQ(run({"--db", db(), "--keep-collections", "0", "list-items", "uma"}).status, 2);
}

TEST_P(Program, ReportsAPortThatIsTaken) {
    process::DataService first(db());
    ASSERT_NO_THROW(first.start());
    const std::string line = first.line();
    const std::string port = line.substr(line.rfind(':') + 1, line.size() - line.rfind(':') - 2);
    const Outcome second = run({"--db", db(), "--port", port});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("cannot listen"), std::string::npos);
    EXPECT_EQ(first.stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, Program, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
