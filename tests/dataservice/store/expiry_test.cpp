// Evaluation profiles expire, and the journal keeps a bounded window.
#include <sqlite3.h>

#include <atomic>

#include "dataservice/pages/site.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

std::atomic<std::int64_t> fakeNow{1'700'000'000};
std::int64_t fakeClock() { return fakeNow.load(); }
constexpr std::int64_t kDay = 24 * 3600;

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
    ScratchDir dir;
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

INSTANTIATE_TEST_SUITE_P(Backends, Expiry, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
