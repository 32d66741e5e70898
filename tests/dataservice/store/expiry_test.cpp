// Evaluation profiles expire, and the journal keeps a bounded window.
#include <sqlite3.h>

#include <atomic>
#include <future>
#include <thread>

#include "dataservice/db/database.h"
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

// Rows counted over a connection of the test's own: what is committed, purged or not.
std::int64_t committedRows(const std::string& target, const std::string& table) {
    auto db = db::open(target);
    auto count = db->prepare("SELECT COUNT(*) FROM " + table);
    return count->step() ? count->integer(0) : -1;
}

TEST_P(Expiry, ASweepGoesInBoundedBitesThatUploadsGetBetween) {
    auto store = open(100000);
    Pages pages(*store);
    const int evaluations = 120, entries = 1500;
    for (int i = 0; i < evaluations; ++i) {
        const std::string id = "EvalBulk" + std::to_string(i);
        ASSERT_TRUE(store->profiles().registerEvaluation(id));
        pages.handle("/evalsftdata.asp", "UID=" + id + "&qIS=item");
    }
    for (int i = evaluations; i < entries; ++i) pages.handle("/getversion.asp", "Major=1&Minor=1&Rev=1");
    ASSERT_EQ(committedRows(database->target(), "journal"), entries);
    fakeNow += 40 * kDay;

    // One bite takes a bounded share and says more is left.
    const Store::Swept first = store->purgeSome();
    EXPECT_EQ(first.evaluations, 50);
    EXPECT_EQ(first.rows, 1000);
    EXPECT_TRUE(first.more);

    // A sweep in the background: an upload queued behind its first bite is committed before
    // the next one, not after the whole sweep.
    std::promise<void> go;
    store->submit([released = go.get_future().share()] { released.wait(); }, [](std::exception_ptr) {});
    store->purgeInBackground();
    std::promise<std::int64_t> leftWhenCommitted;
    store->submit([&] { store->journal().append("/getversion.asp", "getversion", {}, 200); },
                  [&](std::exception_ptr) { leftWhenCommitted.set_value(committedRows(database->target(), "profiles")); });
    go.set_value();
    EXPECT_EQ(leftWhenCommitted.get_future().get(), evaluations - 100);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (committedRows(database->target(), "profiles") > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(committedRows(database->target(), "profiles"), 0);
    EXPECT_EQ(committedRows(database->target(), "collected_items"), 0);
    EXPECT_EQ(committedRows(database->target(), "journal"), 1);  // the one written meanwhile
    EXPECT_EQ(store->purgeExpired(), 0);

    // A sweep told to stop ends after the bite under way; the next one takes the rest.
    for (int i = 0; i < evaluations; ++i) ASSERT_TRUE(store->profiles().registerEvaluation("EvalMore" + std::to_string(i)));
    fakeNow += 40 * kDay;
    int bites = 0;
    EXPECT_EQ(store->purgeExpired([&] { return ++bites > 1; }), 50);
    EXPECT_EQ(committedRows(database->target(), "profiles"), evaluations - 50);
    EXPECT_EQ(store->purgeExpired(), evaluations - 50);
}

// Trimming goes through the key's index: a journal at its bound is never read whole to find
// the entries to drop (PostgreSQL, without statistics of a young table, would otherwise scan it
// at every trim). Counted by the server's own statistics, not timed.
TEST_P(Expiry, TrimmingNeverReadsTheWholeJournal) {
    if (GetParam() != Backend::PostgreSQL) GTEST_SKIP() << "the server's statistics say how a table was read";
    auto store = open(300);
    Pages pages(*store);
    constexpr int kRequests = 1500;  // about twenty trims, most of them dropping entries
    for (int i = 0; i < kRequests; ++i) pages.handle("/getversion.asp", "Major=1&Minor=1&Rev=1");
    fakeNow += 8 * kDay;
    store->purgeExpired();
    auto db = db::open(database->target());
    std::int64_t inserted = 0, scanned = -1;
    // The writer's session reports its figures when idle, at most once a second.
    for (int tries = 0; tries < 100 && inserted < kRequests; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto st = db->prepare("SELECT n_tup_ins, seq_tup_read FROM pg_stat_user_tables WHERE relname = 'journal'");
        if (st->step()) inserted = st->integer(0), scanned = st->integer(1);
    }
    ASSERT_EQ(inserted, kRequests);
    EXPECT_LT(scanned, 300) << "rows of the journal read by sequential scans";
    EXPECT_EQ(committedRows(database->target(), "journal"), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, Expiry, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
