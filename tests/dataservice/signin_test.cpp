// The private profile page (sign-in, sessions, forms from elsewhere), the sign-in limits,
// evaluation expiry, the journal's window and opening a database of the previous schema.
#include <sqlite3.h>

#include <atomic>

#include "dataservice/pages/site.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

std::atomic<std::int64_t> fakeNow{1'700'000'000};
std::int64_t fakeClock() { return fakeNow.load(); }
constexpr std::int64_t kDay = 24 * 3600;

class SignIn : public BackendServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(store->profiles().addAccount("alice", "Correct Horse"));
        ASSERT_TRUE(store->profiles().addAccount("bob", "bobs pw"));
        get("/updatedata.asp?UID=alice&PWD=Correct+Horse&crDate=&luDate=");
        get("/sftdata.asp?UID=alice&qIS=Alice+Editor+1.0&PWD=Correct+Horse");
        get("/sftdata.asp?UID=alice&qIS=" + encode("<script>alert(1)</script>") + "&PWD=Correct+Horse");
        get("/OSdata.asp?UID=alice&OS=Linux+6&PWD=Correct+Horse");
        get("/sftdata.asp?UID=alice&qIS=Alice+Browser&PWD=Correct+Horse");
        get("/finalize.asp?UID=alice&PWD=Correct+Horse");
        get("/sftdata.asp?UID=bob&qIS=Bobs+Secret+Tool&PWD=bobs+pw");
    }
};

TEST_P(SignIn, AStrangerSeesOnlyTheFormWhateverTheAddressAsks) {
    for (const char* target : {"/profile/hwsw.asp?UID=alice", "/profile/hwsw.asp", "/PROFILE/HWSW.ASP?UID=bob"}) {
        const auto [status, html] = get(target);
        EXPECT_EQ(status, 200) << target;
        EXPECT_NE(html.find("name=\"PWD\""), std::string::npos) << target;
        for (const char* item : {"Editor", "Linux 6", "Secret"}) EXPECT_EQ(html.find(item), std::string::npos) << item;
    }
    // A made-up or stolen-looking cookie is no session either.
    EXPECT_EQ(getWith("/profile/hwsw.asp", "vantrel_session=" + std::string(64, 'a')).second.find("Editor"),
              std::string::npos);
    EXPECT_EQ(getWith("/profile/hwsw.asp", "vantrel_session=' OR 1=1 --").second.find("Editor"), std::string::npos);
}

TEST_P(SignIn, ASubscriberSeesExactlyTheirOwnProfileGroupedInArrivalOrder) {
    std::string page;
    const std::string session = signIn("alice", "Correct Horse", &page);
    ASSERT_FALSE(session.empty()) << page;
    const auto res = client->Get("/profile/hwsw.asp", httplib::Headers{{"Cookie", session}});
    ASSERT_TRUE(res);
    const std::string& html = res->body;
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(html.find("Bobs Secret Tool"), std::string::npos);
    const auto editor = html.find("Alice Editor 1.0"), script = html.find("&lt;script&gt;alert(1)&lt;/script&gt;"),
               browser = html.find("Alice Browser"), os = html.find("Linux 6");
    ASSERT_NE(editor, std::string::npos);
    ASSERT_NE(script, std::string::npos);
    ASSERT_NE(browser, std::string::npos);
    ASSERT_NE(os, std::string::npos);
    EXPECT_LT(editor, script);
    EXPECT_LT(script, browser);
    EXPECT_LT(browser, os);  // the programs form one group, before the system that came later
    EXPECT_EQ(html.find("<script>alert"), std::string::npos);
    EXPECT_NE(html.find("<td class=\"count\">3</td>"), std::string::npos);
    EXPECT_NE(html.find("<dd id=\"last-run\">Completed</dd>"), std::string::npos);
    EXPECT_NE(html.find(store->profiles().subscriber("alice")->created), std::string::npos);
    EXPECT_NE(html.find("<script src=\"filter.js\""), std::string::npos);
    EXPECT_NE(html.find("id=\"program-filter\" hidden"), std::string::npos);  // shown by the script alone
    EXPECT_NE(res->get_header_value("Content-Security-Policy").find("script-src 'self';"), std::string::npos);
    EXPECT_NE(res->get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"), std::string::npos);
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(res->get_header_value("Referrer-Policy"), "no-referrer");
    EXPECT_EQ(res->get_header_value("Cache-Control"), "no-store");
    EXPECT_EQ(res->get_header_value("X-Frame-Options"), "DENY");

    const auto js = client->Get("/profile/filter.js");
    ASSERT_TRUE(js);
    EXPECT_EQ(js->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
    EXPECT_NE(js->body.find("program-filter"), std::string::npos);
}

TEST_P(SignIn, TheSessionCookieIsHttpOnlyStrictAndEndsWithSignOut) {
    const auto form = client->Get("/profile/hwsw.asp");
    const std::string token = cookieIn(*form, "vantrel_form");
    const auto res = client->Post("/profile/hwsw.asp", httplib::Headers{{"Cookie", "vantrel_form=" + token}},
                                  "action=signin&form=" + token + "&UID=alice&PWD=Correct+Horse",
                                  "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 303);
    std::string setCookie;
    for (std::size_t i = 0; i < res->get_header_value_count("Set-Cookie"); ++i)
        if (res->get_header_value("Set-Cookie", i).rfind("vantrel_session=", 0) == 0)
            setCookie = res->get_header_value("Set-Cookie", i);
    EXPECT_NE(setCookie.find("; HttpOnly"), std::string::npos);
    EXPECT_NE(setCookie.find("; SameSite=Strict"), std::string::npos);
    EXPECT_NE(setCookie.find("; Max-Age="), std::string::npos);
    EXPECT_EQ(setCookie.find("Secure"), std::string::npos);  // plain HTTP here
    const std::string session = "vantrel_session=" + cookieIn(*res, "vantrel_session");

    const std::string view = getWith("/profile/hwsw.asp", session).second;
    ASSERT_NE(view.find("Alice Editor"), std::string::npos);
    // The database keeps a digest of the token, never the token itself.
    server->stop();
    store.reset();
    EXPECT_EQ(readFile(dir.file("service.db")).find(session.substr(16)), std::string::npos);
    store = std::make_unique<Store>(database->target(), StoreOptions{kTestIterations});
    server = std::make_unique<Server>(*store);
    server->start();
    client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
    ASSERT_NE(getWith("/profile/hwsw.asp", session).second.find("Alice Editor"), std::string::npos);

    // Sign-out needs the page's own form token; a bare post does nothing.
    const std::string formToken = view.substr(view.find("name=\"form\" value=\"") + 19, 64);
    client->Post("/profile/hwsw.asp", httplib::Headers{{"Cookie", session}}, "action=signout",
                 "application/x-www-form-urlencoded");
    ASSERT_NE(getWith("/profile/hwsw.asp", session).second.find("Alice Editor"), std::string::npos);
    const auto out = client->Post("/profile/hwsw.asp", httplib::Headers{{"Cookie", session}},
                                  "action=signout&form=" + formToken, "application/x-www-form-urlencoded");
    ASSERT_TRUE(out);
    EXPECT_EQ(out->status, 303);
    EXPECT_EQ(getWith("/profile/hwsw.asp", session).second.find("Alice Editor"), std::string::npos);
}

TEST_P(SignIn, AWrongPasswordIsRefusedWithAMessageAndAnEvaluationNameSignsIn) {
    std::string page;
    EXPECT_TRUE(signIn("alice", "wrong", &page).empty());
    EXPECT_NE(page.find("The username or password is not right."), std::string::npos);
    EXPECT_TRUE(signIn("nobody", "x").empty());
    EXPECT_TRUE(signIn("EvalFFFFF", "").empty());

    get("/gettemp.asp?TempID=Eval2B3C4");
    get("/evalsftdata.asp?UID=Eval2B3C4&qIS=Evaluated+Program");
    const std::string session = signIn("Eval2B3C4", "");
    ASSERT_FALSE(session.empty());
    const std::string html = getWith("/profile/hwsw.asp", session).second;
    EXPECT_NE(html.find("Evaluated Program"), std::string::npos);
    EXPECT_NE(html.find("<dd>Evaluation</dd>"), std::string::npos);
    EXPECT_EQ(html.find("Alice"), std::string::npos);
}

TEST_P(SignIn, AFormFromAnotherSiteOrWithoutItsTokenIsRefused) {
    std::string page;
    EXPECT_TRUE(signIn("alice", "Correct Horse", &page, {{"Origin", "http://evil.example"}}).empty());
    EXPECT_NE(page.find("came from another site"), std::string::npos);
    // The token in the form alone, without the cookie that goes with it.
    const auto res = client->Post("/profile/hwsw.asp", "action=signin&form=" + std::string(64, 'a') +
                                                           "&UID=alice&PWD=Correct+Horse",
                                  "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 403);
    EXPECT_TRUE(cookieIn(*res, "vantrel_session").empty());
    // Our own origin is fine.
    EXPECT_FALSE(signIn("alice", "Correct Horse", nullptr,
                        {{"Origin", "http://127.0.0.1:" + std::to_string(server->port())}})
                     .empty());
}

// The limits, at the pages themselves: a client address of our choosing, no network.
class Limits : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(GetParam());
        database = std::make_unique<TestDatabase>(GetParam(), dir);
        store = std::make_unique<Store>(database->target(), StoreOptions{kTestIterations});
        ASSERT_TRUE(store->profiles().addAccount("alice", "right"));
        ASSERT_TRUE(store->profiles().addAccount("bob", "bobs"));
        options.signIn = SignInLimits{3, 10, 900};
        pages = std::make_unique<Pages>(*store, Pages::JournalObserver{}, options);
    }
    HttpRequest account(const std::string& uid, const std::string& pwd, const std::string& from) {
        HttpRequest r;
        r.path = "/getdata.asp";
        r.rawQuery = "UID=" + uid + "&PWD=" + pwd;
        r.clientAddress = from;
        return r;
    }
    bool accepted(const std::string& uid, const std::string& pwd, const std::string& from) {
        return pages->handle(account(uid, pwd, from)).body.find("<z:row") != std::string::npos;
    }
    TempDir dir;
    std::unique_ptr<TestDatabase> database;
    PagesOptions options;
    std::unique_ptr<Store> store;
    std::unique_ptr<Pages> pages;
};

TEST_P(Limits, AGuessingFloodOnAnAccountCostsNoHashingAndLocksOnlyThatAccount) {
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(accepted("alice", "guess" + std::to_string(i), "10.0.0.1"));
    const auto derived = pages->verifier().derivations();
    const auto journalled = store->journal().all().size();
    for (int i = 0; i < 200; ++i) EXPECT_FALSE(accepted("alice", "guess", "10.0.0." + std::to_string(i % 50)));
    EXPECT_EQ(pages->verifier().derivations(), derived);  // checked before any hashing
    EXPECT_EQ(store->journal().all().size(), journalled);        // and refused without a trace
    EXPECT_FALSE(accepted("alice", "right", "10.0.0.99"));  // answered as a wrong password
    EXPECT_TRUE(accepted("bob", "bobs", "10.0.0.1"));       // another user gets in at once

    // Once the window has passed the account opens again.
    HttpRequest later = account("alice", "right", "10.0.0.1");
    StoreOptions moved{kTestIterations};
    moved.clock = [] { return systemUnixTime() + 901; };
    pages.reset();
    store.reset();
    store = std::make_unique<Store>(database->target(), moved);
    pages = std::make_unique<Pages>(*store, Pages::JournalObserver{}, options);
    EXPECT_NE(pages->handle(later).body.find("<z:row"), std::string::npos);
}

TEST_P(Limits, AnAddressTryingManyNamesIsStoppedAndAVerifiedRunGoesOn) {
    EXPECT_TRUE(accepted("alice", "right", "10.0.0.1"));  // remembered from here on
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(accepted("user" + std::to_string(i), "x", "10.9.9.9"));
    const auto derived = pages->verifier().derivations();
    EXPECT_FALSE(accepted("bob", "bobs", "10.9.9.9"));
    EXPECT_EQ(pages->verifier().derivations(), derived);
    EXPECT_TRUE(accepted("bob", "bobs", "10.0.0.2"));

    // Lock alice by failing; her collector, verified a moment ago, still uploads.
    for (int i = 0; i < 5; ++i) accepted("alice", "bad", "10.0.0.3");
    HttpRequest upload;
    upload.path = "/sftdata.asp";
    upload.rawQuery = "UID=alice&qIS=still+stored&PWD=right";
    upload.clientAddress = "10.0.0.1";
    pages->handle(upload);
    EXPECT_EQ(store->inventory().items(store->profiles().subscriber("alice")->id).size(), 1u);
}

TEST_P(Limits, WalkingEvaluationNamesIsStoppedPerAddress) {
    ASSERT_TRUE(store->profiles().registerEvaluation("Eval0000A"));
    HttpRequest r;
    r.path = "/evalsftdata.asp";
    r.clientAddress = "10.7.7.7";
    for (int i = 0; i < 10; ++i) {
        r.rawQuery = "UID=Eval1000" + std::to_string(i) + "&qIS=x";
        pages->handle(r);
    }
    r.rawQuery = "UID=Eval0000A&qIS=guessed";
    pages->handle(r);
    EXPECT_TRUE(store->inventory().items(store->profiles().evaluation("Eval0000A")->id).empty());
    r.clientAddress = "10.7.7.8";
    pages->handle(r);
    EXPECT_EQ(store->inventory().items(store->profiles().evaluation("Eval0000A")->id).size(), 1u);
}

class Expiry : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(GetParam());
        database = std::make_unique<TestDatabase>(GetParam(), dir);
    }
    std::unique_ptr<Store> open(std::int64_t journalMax = 100000) {
        StoreOptions o{kTestIterations};
        o.clock = &fakeClock;
        o.evaluationLifetimeSeconds = 30 * kDay;
        o.journalMaxAgeSeconds = 7 * kDay;
        o.journalMaxEntries = journalMax;
        return std::make_unique<Store>(database->target(), o);
    }
    TempDir dir;
    std::unique_ptr<TestDatabase> database;
};

TEST_P(Expiry, AnEvaluationProfileWithoutUploadsExpiresAndUploadsKeepItAlive) {
    auto store = open();
    Pages pages(*store);
    ASSERT_TRUE(store->profiles().registerEvaluation("EvalOLD00"));
    ASSERT_TRUE(store->profiles().registerEvaluation("EvalUSED0"));
    store->sessions().create(tokenDigest("t"), store->profiles().evaluation("EvalOLD00")->id, "csrf", 365 * kDay);
    fakeNow += 20 * kDay;
    pages.handle("/evalsftdata.asp", "UID=EvalUSED0&qIS=fresh");
    fakeNow += 20 * kDay;
    EXPECT_FALSE(store->profiles().evaluation("EvalOLD00"));  // gone at once, swept or not
    EXPECT_FALSE(store->sessions().find(tokenDigest("t")));
    EXPECT_TRUE(store->profiles().evaluation("EvalUSED0"));
    pages.handle("/evalsftdata.asp", "UID=EvalOLD00&qIS=too+late");  // also sweeps: a while has passed
    EXPECT_EQ(store->purgeExpired(), 0);
    // Registering the name again starts an empty profile.
    ASSERT_TRUE(store->profiles().registerEvaluation("EvalOLD00"));
    EXPECT_TRUE(store->inventory().items(store->profiles().evaluation("EvalOLD00")->id).empty());
    fakeNow += 31 * kDay;
    EXPECT_FALSE(store->profiles().evaluation("EvalUSED0"));
}

TEST_P(Expiry, TheJournalKeepsABoundedWindow) {
    auto store = open(100);
    Pages pages(*store);
    for (int i = 0; i < 500; ++i) pages.handle("/getversion.asp", "Major=1&Minor=1&Rev=" + std::to_string(i));
    const auto journal = store->journal().all();
    EXPECT_LE(journal.size(), 100u + 64u);
    EXPECT_EQ(journal.back().params[2].second, "499");  // the newest are the ones kept
    fakeNow += 8 * kDay;
    store->purgeExpired();
    EXPECT_TRUE(store->journal().all().empty());
    // Requests refused before any work leave nothing.
    pages.handle("/nosuch.asp", "a=1");
    pages.handle("/sftdata.asp", "UID=x");
    EXPECT_TRUE(store->journal().all().empty());
}

TEST(Migration, ADatabaseOfThePreviousSchemaOpensWithItsData) {
    TempDir dir;
    const std::string file = dir.file("v1.db");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        const char* v1 =
            "CREATE TABLE allowed_versions (major INTEGER NOT NULL, minor INTEGER NOT NULL, rev INTEGER NOT NULL,"
            " PRIMARY KEY (major, minor, rev));"
            "CREATE TABLE profiles (id INTEGER PRIMARY KEY, kind TEXT NOT NULL CHECK (kind IN ('subscriber',"
            " 'evaluation')), name TEXT NOT NULL, password_hash TEXT, created TEXT NOT NULL, last_update TEXT NOT NULL,"
            " run_started TEXT, run_completed TEXT, UNIQUE (kind, name));"
            "CREATE TABLE items (seq INTEGER PRIMARY KEY AUTOINCREMENT, profile_id INTEGER NOT NULL REFERENCES"
            " profiles (id) ON DELETE CASCADE, category TEXT NOT NULL, text TEXT NOT NULL, config_date TEXT);"
            "CREATE INDEX items_by_profile ON items (profile_id, seq);"
            "CREATE TABLE journal (seq INTEGER PRIMARY KEY AUTOINCREMENT, received TEXT NOT NULL, path TEXT NOT NULL,"
            " page TEXT NOT NULL, params TEXT NOT NULL, status INTEGER NOT NULL);"
            "INSERT INTO allowed_versions VALUES (1, 1, 11);"
            "INSERT INTO profiles VALUES (1, 'evaluation', 'EvalABCDE', NULL, '2024-01-01T00:00:00',"
            " '2024-01-01T00:00:00', NULL, NULL);"
            "INSERT INTO items (profile_id, category, text) VALUES (1, 'Software', 'kept through the upgrade');"
            "INSERT INTO journal (received, path, page, params, status) VALUES ('2024-01-01T00:00:00',"
            " '/gettemp.asp', 'gettemp.asp', 'TempID=EvalABCDE', 200);"
            "PRAGMA user_version = 1;";
        ASSERT_EQ(sqlite3_exec(db, v1, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    {
        Store store(file, StoreOptions{kTestIterations});
        ASSERT_TRUE(store.profiles().evaluation("EvalABCDE"));  // not expired by the upgrade itself
        EXPECT_EQ(store.inventory().items(store.profiles().named("EvalABCDE")->id).front().text, "kept through the upgrade");
        EXPECT_EQ(store.journal().all().size(), 1u);
        ASSERT_TRUE(store.profiles().addAccount("new", "pw"));
        store.sessions().create(tokenDigest("s"), store.profiles().subscriber("new")->id, "c", 60);
        EXPECT_TRUE(store.sessions().find(tokenDigest("s")));
    }
    Store again(file, StoreOptions{kTestIterations});  // and opens again as it is
    EXPECT_TRUE(again.sessions().find(tokenDigest("s")));
}

INSTANTIATE_TEST_SUITE_P(Backends, SignIn, kBackends, backendName);
INSTANTIATE_TEST_SUITE_P(Backends, Limits, kBackends, backendName);
INSTANTIATE_TEST_SUITE_P(Backends, Expiry, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
