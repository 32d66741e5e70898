// The database: what a new one holds, what survives reopening, and what a failed request leaves.
#include <condition_variable>
#include <future>
#include <mutex>

#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;

class StoreTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(GetParam());
        database = std::make_unique<TestDatabase>(GetParam(), dir, "s.db");
    }
    std::unique_ptr<Store> open() { return std::make_unique<Store>(database->target(), StoreOptions{kTestIterations}); }
    bool sqlite() const { return GetParam() == Backend::SQLite; }
    ScratchDir dir;
    std::unique_ptr<TestDatabase> database;
};

TEST_P(StoreTest, ANewDatabaseAllowsOnlyTheCurrentVersionAndADisallowedOneStaysSo) {
    {
        auto store = open();
        EXPECT_THAT(store->versions().all(), ElementsAre(Version{1, 1, 11}));
        ASSERT_TRUE(store->versions().disallow(Version{1, 1, 11}));
        EXPECT_FALSE(store->versions().disallow(Version{1, 1, 11}));
        store->versions().allow(Version{1, 2, 0});
        store->versions().allow(Version{1, 2, 0});
    }
    EXPECT_THAT(open()->versions().all(), ElementsAre(Version{1, 2, 0}));
}

TEST_P(StoreTest, AccountsAreUniqueAndRemovingOneRemovesItsItems) {
    auto store = open();
    ASSERT_TRUE(store->profiles().addAccount("ann", "pw"));
    EXPECT_FALSE(store->profiles().addAccount("ann", "other"));
    EXPECT_TRUE(verifyPassword("pw", store->profiles().credentials("ann")->passwordHash));
    const auto id = store->profiles().subscriber("ann")->id;
    store->inventory().add(id, "Software", "x");
    ASSERT_TRUE(store->profiles().removeAccount("ann"));
    EXPECT_FALSE(store->profiles().removeAccount("ann"));
    EXPECT_TRUE(store->inventory().items(id).empty());
    // A new account of the same name starts empty.
    ASSERT_TRUE(store->profiles().addAccount("ann", "pw"));
    EXPECT_TRUE(store->inventory().items(store->profiles().subscriber("ann")->id).empty());
}

TEST_P(StoreTest, SubscribersAndEvaluationsOfTheSameNameAreApart) {
    auto store = open();
    ASSERT_TRUE(store->profiles().addAccount("Eval00001", "pw"));
    ASSERT_TRUE(store->profiles().registerEvaluation("Eval00001"));
    EXPECT_FALSE(store->profiles().registerEvaluation("Eval00001"));
    EXPECT_NE(store->profiles().subscriber("Eval00001")->id, store->profiles().evaluation("Eval00001")->id);
    EXPECT_FALSE(store->profiles().credentials("EvalNone"));
    EXPECT_EQ(store->profiles().named("Eval00001")->kind, ProfileKind::Subscriber);
}

TEST_P(StoreTest, AFailedTransactionLeavesNothingBehind) {
    auto store = open();
    ASSERT_TRUE(store->profiles().registerEvaluation("EvalAAAAA"));
    const auto id = store->profiles().evaluation("EvalAAAAA")->id;
    EXPECT_THROW(store->transaction([&] {
        store->inventory().add(id, "Software", "half done");
        store->journal().append("/x", "x", {}, 200);
        throw std::runtime_error("request failed");
    }),
                 std::runtime_error);
    EXPECT_TRUE(store->inventory().items(id).empty());
    EXPECT_TRUE(store->journal().all().empty());
    // And the connection is usable afterwards.
    store->transaction([&] { store->inventory().add(id, "Software", "done"); });
    EXPECT_EQ(store->inventory().items(id).size(), 1u);
}

// Transactions that wait together are committed together; one that fails in such a batch
// rolls back only itself, and none is told before its commit can be seen from elsewhere.
TEST_P(StoreTest, TransactionsCommittedTogetherFailAloneAndAreToldOnlyOnceCommitted) {
    auto store = open();
    auto elsewhere = open();
    ASSERT_TRUE(store->profiles().registerEvaluation("EvalCCCCC"));
    const auto id = store->profiles().evaluation("EvalCCCCC")->id;
    std::mutex m;
    std::condition_variable told;
    std::vector<std::exception_ptr> errors(5);
    std::vector<std::size_t> seenElsewhere(5, 0);
    int answered = 0;
    const auto done = [&](int i) {
        return [&, i](std::exception_ptr error) {
            const std::size_t seen = elsewhere->inventory().items(id).size();
            std::lock_guard lock(m);
            errors[static_cast<std::size_t>(i)] = error;
            seenElsewhere[static_cast<std::size_t>(i)] = seen;
            ++answered;
            told.notify_all();
        };
    };
    // The first holds the writer, so the other four queue behind it and go as one batch.
    std::promise<void> release, holding;
    std::shared_future<void> gate = release.get_future().share();
    store->submit([&, once = std::make_shared<std::once_flag>()] {
        std::call_once(*once, [&] { holding.set_value(); });
        gate.wait();
        store->inventory().add(id, "Software", "first");
    }, done(0));
    holding.get_future().wait();
    for (int i = 1; i < 5; ++i)
        store->submit([&, i] {
            store->inventory().add(id, "Software", "item " + std::to_string(i));
            if (i == 2) throw std::runtime_error("this request failed");
        }, done(i));
    release.set_value();
    std::unique_lock lock(m);
    ASSERT_TRUE(told.wait_for(lock, std::chrono::seconds(30), [&] { return answered == 5; }));
    std::vector<std::string> texts;
    for (const Item& item : store->inventory().items(id)) texts.push_back(item.text);
    EXPECT_THAT(texts, ElementsAre("first", "item 1", "item 3", "item 4"));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(errors[static_cast<std::size_t>(i)] != nullptr, i == 2) << i;
    EXPECT_EQ(seenElsewhere[0], 1u);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(seenElsewhere[static_cast<std::size_t>(i)], 4u) << i;
}

TEST_P(StoreTest, KeepsEverythingAcrossReopeningAndValuesByteForByte) {
    const std::string binary("nul\0and\xFF", 8);
    std::vector<std::int64_t> itemKeys;
    std::int64_t journalKey = 0;
    {
        auto store = open();
        ASSERT_TRUE(store->profiles().registerEvaluation("EvalBBBBB"));
        const auto id = store->profiles().evaluation("EvalBBBBB")->id;
        itemKeys.push_back(store->inventory().add(id, "Software", "before"));
        itemKeys.push_back(store->inventory().add(id, "BIOS", binary, std::string("1/2/2024")));
        journalKey = store->journal().append("/p", "p", {{"PWD", "secret"}, {"k", binary}}, 200).seq;
    }
    auto store = open();
    auto items = store->inventory().items(store->profiles().evaluation("EvalBBBBB")->id);
    // Each insert told the key the row was stored under.
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].seq, itemKeys[0]);
    EXPECT_EQ(items[1].seq, itemKeys[1]);
    EXPECT_LT(itemKeys[0], itemKeys[1]);
    items.erase(items.begin());
    EXPECT_EQ(items[0].text, binary);
    EXPECT_EQ(items[0].configDate, std::optional<std::string>("1/2/2024"));
    const auto journal = store->journal().all();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].seq, journalKey);
    EXPECT_EQ(journal[0].params, (Params{{"PWD", "***"}, {"k", binary}}));
}

TEST_P(StoreTest, RefusesAFileThatIsNotADatabase) {
    if (!sqlite()) GTEST_SKIP() << "about SQLite's file";
    std::ofstream(dir.file("s.db")) << "this is not a database, just text that is long enough to matter\n";
    EXPECT_THROW(open(), StoreError);
}

TEST_P(StoreTest, HoldsNoPlaintextPassword) {
    if (!sqlite()) GTEST_SKIP() << "reads SQLite's files";
    const std::string secret = "Plaintext-Canary-31337";
    open()->profiles().addAccount("ann", secret);
    EXPECT_EQ(readFile(dir.file("s.db")).find(secret), std::string::npos);
    EXPECT_EQ(readFile(dir.file("s.db-wal")).find(secret), std::string::npos);
}

TEST_P(StoreTest, TwoStoresOnOneDatabaseSeeEachOthersWritesInOrder) {
    auto first = open();
    auto second = open();  // a new database is set up once; the second finds it made
    ASSERT_TRUE(first->profiles().addAccount("ann", "pw"));
    EXPECT_FALSE(second->profiles().addAccount("ann", "other"));
    const auto id = second->profiles().subscriber("ann")->id;
    for (int i = 0; i < 6; ++i) ((i % 2) ? first : second)->inventory().add(id, "Software", "item " + std::to_string(i));
    const auto items = first->inventory().items(id);
    ASSERT_EQ(items.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(items[static_cast<std::size_t>(i)].text, "item " + std::to_string(i));
    EXPECT_THAT(second->versions().all(), ElementsAre(Version{1, 1, 11}));
}

TEST_P(StoreTest, NamesSortByteForByteOnEitherEngine) {
    auto store = open();
    for (const char* name : {"bob", "Zed", "alice", "\xC3\xA9mile", "Bob"}) ASSERT_TRUE(store->profiles().addAccount(name, "pw"));
    EXPECT_THAT(store->profiles().accountNames(), ElementsAre("Bob", "Zed", "alice", "bob", "\xC3\xA9mile"));
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
