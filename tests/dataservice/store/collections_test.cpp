// Collections kept per profile: a reset starts one, the oldest beyond those kept go, and two of
// them compare by program name and version, hardware by whole text.
#include "dataservice/store/changes.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAreArray;

class Collections : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(GetParam());
        database = std::make_unique<TestDatabase>(GetParam(), dir, "c.db");
        StoreOptions options{kTestIterations};
        options.keepCollections = 3;
        store = std::make_unique<Store>(database->target(), options);
        ASSERT_TRUE(store->profiles().addAccount("ann", "pw"));
        id = store->profiles().subscriber("ann")->id;
    }
    using Row = std::tuple<std::string, std::string, std::optional<std::string>>;
    void run(const std::vector<Row>& items, bool finish = true) {
        store->inventory().reset(id);
        for (const auto& [category, text, date] : items) store->inventory().add(id, category, text, date);
        if (finish) store->inventory().finalize(id);
    }
    static std::vector<std::string> texts(const std::vector<Item>& items) {
        std::vector<std::string> out;
        for (const Item& item : items) out.push_back(item.text);
        return out;
    }
    ScratchDir dir;
    std::unique_ptr<TestDatabase> database;
    std::unique_ptr<Store> store;
    std::int64_t id = 0;
};

TEST_P(Collections, AResetKeepsThePreviousOnesAndDropsTheOldestBeyondThoseKept) {
    store->inventory().add(id, "Software", "before any run");  // no collection yet: the first reset ends it
    for (int i = 1; i <= 4; ++i) run({{"Software", "run " + std::to_string(i), std::nullopt}}, i != 4);
    store->inventory().add(id, "Software", "late item");

    const auto kept = store->inventory().collections(id);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_FALSE(kept[0].completed);
    EXPECT_TRUE(kept[1].completed && kept[2].completed);
    EXPECT_EQ(kept[0].items, 2);
    EXPECT_GT(kept[0].id, kept[1].id);
    EXPECT_THAT(texts(store->inventory().items(id)), ElementsAre("run 4", "late item"));
    EXPECT_THAT(texts(store->inventory().collectionItems(id, kept[2].id)), ElementsAre("run 2"));

    // Another profile's collection is not this one's to read.
    ASSERT_TRUE(store->profiles().addAccount("bob", "pw"));
    EXPECT_TRUE(store->inventory().collectionItems(store->profiles().subscriber("bob")->id, kept[0].id).empty());

    // The pruned collection took its items with it: a fifth run leaves three again.
    run({{"Software", "run 5", std::nullopt}});
    const auto after = store->inventory().collections(id);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[2].id, kept[1].id);
    EXPECT_TRUE(store->inventory().collectionItems(id, kept[2].id).empty());
    EXPECT_TRUE(store->profiles().removeAccount("ann"));
}

TEST_P(Collections, TwoStoredCollectionsCompareByProgramNameAndHardwareText) {
    run({{"Software", "Editor v1.0", std::nullopt},
         {"Software", "Old Tool v2", std::nullopt},
         {"Software", "Kept v1", std::nullopt},
         {"Software", "Lib v1", std::nullopt},
         {"Software", "Lib v2", std::nullopt},
         {"Software", "Foo v Bar v1.0", std::nullopt},
         {"Software", "Plain name", std::nullopt},
         {"BIOS", "ACME 1.0", std::string("2020-01-02")},
         {"Video", "Card A", std::nullopt},
         {"NIC", "eth0", std::nullopt}});
    run({{"Software", "Editor v1.1", std::nullopt},
         {"Software", "Kept v1", std::nullopt},
         {"Software", "Lib v2", std::nullopt},
         {"Software", "Lib v3", std::nullopt},
         {"Software", "Foo v Bar v2.0", std::nullopt},
         {"Software", "Plain name", std::nullopt},
         {"Software", "cowsay v3.03", std::nullopt},
         {"BIOS", "ACME 1.0", std::nullopt},  // the configuration date alone went
         {"Video", "Card B", std::nullopt},
         {"NIC", "eth0", std::nullopt}});
    const auto kept = store->inventory().collections(id);
    ASSERT_EQ(kept.size(), 2u);
    const auto changes = compareCollections(store->inventory().collectionItems(id, kept[1].id),
                                            store->inventory().collectionItems(id, kept[0].id));
    using K = Change::Kind;
    EXPECT_THAT(changes, UnorderedElementsAreArray(std::vector<Change>{
                             {K::Updated, "Software", "Editor", "1.0", "1.1"},
                             {K::Updated, "Software", "Lib", "1", "3"},
                             {K::Updated, "Software", "Foo v Bar", "1.0", "2.0"},
                             {K::Added, "Software", "cowsay v3.03", "", ""},
                             {K::Removed, "Software", "Old Tool v2", "", ""},
                             {K::Added, "Video", "Card B", "", ""},
                             {K::Removed, "Video", "Card A", "", ""},
                         }));
    // Nothing changed is nothing listed, whichever way round.
    EXPECT_TRUE(compareCollections(store->inventory().items(id), store->inventory().items(id)).empty());
}

TEST(ProgramNames, TheVersionFollowsTheLastSpaceVThatADigitFollows) {
    const std::pair<const char*, std::pair<std::string_view, std::string_view>> cases[] = {
        {"Editor v1.0", {"Editor", "1.0"}},
        {"Foo v Bar v2", {"Foo v Bar", "2"}},
        {"Tool v2.1 via installer", {"Tool", "2.1 via installer"}},
        {"Just a name", {"Just a name", ""}},
        {"Ends in v", {"Ends in v", ""}},
        {" v1", {"", "1"}},
        {"", {"", ""}},
    };
    for (const auto& [text, expected] : cases) {
        const ProgramName p = splitProgram(text);
        EXPECT_EQ(p.name, expected.first) << text;
        EXPECT_EQ(p.version, expected.second) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Collections, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
