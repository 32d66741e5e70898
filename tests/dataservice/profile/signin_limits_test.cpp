// The sign-in limits, at the pages themselves: a client address of our choosing, no network.
#include <sqlite3.h>

#include <atomic>

#include "dataservice/pages/site.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

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
        setPath(r, "/getdata.asp");
        r.rawQuery = "UID=" + uid + "&PWD=" + pwd;
        r.clientAddress = from;
        return r;
    }
    bool accepted(const std::string& uid, const std::string& pwd, const std::string& from) {
        return pages->handle(account(uid, pwd, from)).body.find("<z:row") != std::string::npos;
    }
    HttpReply request(const std::string& path, const std::string& query, const std::string& from) {
        HttpRequest r;
        setPath(r, path);
        r.rawQuery = query;
        r.clientAddress = from;
        return pages->handle(r);
    }
    static std::size_t itemsOf(Store& s, const std::string& name, bool evaluation = false) {
        const auto p = evaluation ? s.profiles().evaluation(name) : s.profiles().subscriber(name);
        return p ? s.inventory().items(p->id).size() : 0;
    }
    ScratchDir dir;
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
    setPath(upload, "/sftdata.asp");
    upload.rawQuery = "UID=alice&qIS=still+stored&PWD=right";
    upload.clientAddress = "10.0.0.1";
    pages->handle(upload);
    EXPECT_EQ(store->inventory().items(store->profiles().subscriber("alice")->id).size(), 1u);
}

TEST_P(Limits, WalkingEvaluationNamesIsStoppedPerAddress) {
    ASSERT_TRUE(store->profiles().registerEvaluation("Eval0000A"));
    HttpRequest r;
    setPath(r, "/evalsftdata.asp");
    r.clientAddress = "10.7.7.7";
    for (int i = 0; i < 10; ++i) {
        r.rawQuery = "UID=Eval1000" + std::to_string(i) + "&qIS=x";
        pages->handle(r);
    }
    r.rawQuery = "UID=Eval0000A&qIS=guessed";
    const HttpReply refused = pages->handle(r);
    EXPECT_EQ(refused.status, 429);  // a refusal, which the collector counts as not sent
    EXPECT_TRUE(store->inventory().items(store->profiles().evaluation("Eval0000A")->id).empty());
    r.clientAddress = "10.7.7.8";
    pages->handle(r);
    EXPECT_EQ(store->inventory().items(store->profiles().evaluation("Eval0000A")->id).size(), 1u);
}

std::string retryAfter(const HttpReply& reply) {
    for (const auto& [name, value] : reply.headers)
        if (name == "Retry-After") return value;
    return {};
}

// What a stranger's guesses may not do to someone else's run: have its uploads acknowledged and
// dropped, or silence its neighbours for a name their run lost.
TEST_P(Limits, RefusalsAreAnsweredAsRefusalsAndOnlyGuessesCount) {
    // bob, not yet seen by this process, is locked by a stranger: his upload is refused as such.
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(accepted("bob", "guess" + std::to_string(i), "10.6.6.6"));
    const auto journalled = store->journal().all().size();
    const HttpReply locked = request("/sftdata.asp", "UID=bob&qIS=mine&PWD=bobs", "10.0.0.5");
    EXPECT_EQ(locked.status, 429);
    EXPECT_EQ(retryAfter(locked), "900");
    EXPECT_EQ(itemsOf(*store, "bob"), 0u);
    EXPECT_EQ(store->journal().all().size(), journalled);

    // One run whose registration was lost, behind one address, then a neighbour's run.
    ASSERT_TRUE(store->profiles().registerEvaluation("Eval0000B"));
    for (int i = 0; i < 25; ++i) request("/evalsftdata.asp", "UID=Eval0LOST&qIS=x" + std::to_string(i), "10.8.8.8");
    EXPECT_EQ(request("/evalsftdata.asp", "UID=Eval0000B&qIS=kept", "10.8.8.8").status, 200);
    EXPECT_EQ(itemsOf(*store, "Eval0000B", true), 1u);

    // IPv6 clients count by their /64: two addresses of one line share a limit.
    for (int i = 0; i < 10; ++i)
        request("/evalsftdata.asp", "UID=Eval2000" + std::to_string(i) + "&qIS=x",
                i % 2 ? "2001:db8:1:2::a" : "2001:db8:1:2:ffff::b");
    EXPECT_EQ(request("/evalsftdata.asp", "UID=Eval0000B&qIS=x", "2001:db8:1:2::c").status, 429);
    EXPECT_EQ(request("/evalsftdata.asp", "UID=Eval0000B&qIS=y", "2001:db8:1:3::c").status, 200);
}

// The pair a run proved is remembered; the account made again with the same password (by
// another process) is the same user, whose uploads must be stored, once each.
TEST_P(Limits, AnAccountMadeAgainElsewhereTakesTheRunsNextUpload) {
    EXPECT_EQ(request("/sftdata.asp", "UID=alice&qIS=before&PWD=right", "10.0.0.1").status, 200);
    Store elsewhere(database->target(), StoreOptions{kTestIterations});
    ASSERT_TRUE(elsewhere.profiles().removeAccount("alice"));
    ASSERT_TRUE(elsewhere.profiles().addAccount("alice", "right"));
    const auto journalled = store->journal().all().size();
    EXPECT_EQ(request("/sftdata.asp", "UID=alice&qIS=after&PWD=right", "10.0.0.1").status, 200);
    EXPECT_EQ(request("/sftdata.asp", "UID=alice&qIS=again&PWD=right", "10.0.0.1").status, 200);
    EXPECT_EQ(itemsOf(*store, "alice"), 2u) << "an upload was acknowledged and dropped";
    EXPECT_EQ(store->journal().all().size(), journalled + 2) << "an upload was journalled twice";
    EXPECT_EQ(pages->verifier().derivations(), 2u) << "the new pair is remembered again";
}

INSTANTIATE_TEST_SUITE_P(Backends, Limits, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
