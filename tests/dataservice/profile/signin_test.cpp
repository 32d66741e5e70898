// The private profile page: sign-in, sessions, and forms from elsewhere.
#include <sqlite3.h>

#include <atomic>

#include "dataservice/pages/site.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

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
    const auto derived = server->pages().verifier().derivations();
    EXPECT_TRUE(signIn("alice", "wrong", &page).empty());
    EXPECT_NE(page.find("The username or password is not right."), std::string::npos);
    EXPECT_TRUE(signIn("nobody", "x").empty());
    EXPECT_TRUE(signIn("EvalFFFFF", "").empty());
    // A name nobody has costs a key derivation as a subscriber's wrong password does, so the
    // answer's time does not tell which names exist.
    EXPECT_EQ(server->pages().verifier().derivations(), derived + 3);

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

INSTANTIATE_TEST_SUITE_P(Backends, SignIn, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
