// Databases of earlier schemas and builds open with their data and are used unchanged.
#include <sqlite3.h>

#include <filesystem>

#include "dataservice/db/database.h"
#include "dataservice/store/changes.h"
#include "dataservice/store/store.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(Migration, ADatabaseOfThePreviousSchemaOpensWithItsData) {
    ScratchDir dir;
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

// A database as the build before the store was split left it: an SQLite file, and a PostgreSQL
// database restored from its dump. Everything it held reads back, and it takes new writes.
class PreviousBuild : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(GetParam());
        database = std::make_unique<TestDatabase>(GetParam(), dir, "previous.sqlite");
        const std::string fixtures = std::string(VANTREL_FIXTURES_DIR) + "/databases/";
        if (GetParam() == Backend::SQLite)
            std::filesystem::copy_file(fixtures + "previous.sqlite", database->target());
        else
            db::openPostgres(database->target())->execute(readFile(fixtures + "previous_postgres.sql"));
    }
    std::unique_ptr<Store> open() {
        StoreOptions options{kTestIterations};
        options.evaluationLifetimeSeconds = 100LL * 365 * 24 * 3600;  // the fixture's evaluation stays alive
        return std::make_unique<Store>(database->target(), options);
    }
    static std::vector<std::pair<std::string, std::string>> texts(const std::vector<Item>& items) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const Item& item : items) out.emplace_back(item.category, item.text);
        return out;
    }
    ScratchDir dir;
    std::unique_ptr<TestDatabase> database;
};

TEST_P(PreviousBuild, OpensWithEverythingItHeldAndTakesNewWrites) {
    {
        auto store = open();
        const auto alice = store->profiles().subscriber("alice");
        ASSERT_TRUE(alice);
        EXPECT_TRUE(alice->runCompleted);
        EXPECT_TRUE(verifyPassword("secret", store->profiles().credentials("alice")->passwordHash));
        const auto items = store->inventory().items(alice->id);
        EXPECT_THAT(texts(items), ElementsAre(Pair("Software", "Caf\xC3\xA9 v2"), Pair("BIOS", "ACME 1.0")));
        EXPECT_EQ(items.back().configDate, "2020-01-02");
        const auto eval = store->profiles().evaluation("EvalPREV1");
        ASSERT_TRUE(eval);
        EXPECT_THAT(texts(store->inventory().items(eval->id)), ElementsAre(Pair("Software", "Editor v1.0")));
        EXPECT_THAT(store->versions().all(), ElementsAre(Version{1, 1, 11}, Version{1, 2, 0}));
        const auto journal = store->journal().all();
        ASSERT_EQ(journal.size(), 7u);
        EXPECT_EQ(*findParam(journal[4].params, "PWD"), kMaskedPassword);

        // What the profile held became its first collection, complete as its run was.
        const auto before = store->inventory().collections(alice->id);
        ASSERT_EQ(before.size(), 1u);
        EXPECT_EQ(before[0].completed, alice->runCompleted);
        EXPECT_EQ(before[0].items, 2);

        // New rows take keys after the old ones, on either engine's own counter.
        store->inventory().reset(alice->id);
        const std::int64_t seq = store->inventory().add(alice->id, "Software", "after the upgrade");
        EXPECT_GT(seq, items.back().seq);
        store->inventory().finalize(alice->id);
        EXPECT_GT(store->journal().append("/x", "x", {}, 200).seq, journal.back().seq);
        ASSERT_TRUE(store->profiles().addAccount("bob", "pw"));
    }
    auto again = open();
    EXPECT_THAT(texts(again->inventory().items(again->profiles().subscriber("alice")->id)),
                ElementsAre(Pair("Software", "after the upgrade")));
    EXPECT_EQ(again->profiles().accountNames(), (std::vector<std::string>{"alice", "bob"}));
    // The upgraded collection is kept beside the new one and compares with it.
    const std::int64_t alice = again->profiles().subscriber("alice")->id;
    const auto kept = again->inventory().collections(alice);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_THAT(texts(again->inventory().collectionItems(alice, kept[1].id)),
                ElementsAre(Pair("Software", "Caf\xC3\xA9 v2"), Pair("BIOS", "ACME 1.0")));
    EXPECT_EQ(compareCollections(again->inventory().collectionItems(alice, kept[1].id),
                                 again->inventory().items(alice)).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Backends, PreviousBuild, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing

namespace dataservice::testing {
namespace {

// A database's tables, columns, keys and indexes, named apart from what a rename leaves behind
// (PostgreSQL keeps a renamed table's constraint and sequence names), one line each, sorted.
std::vector<std::string> describe(db::Connection& db) {
    const char* const sqlite[] = {
        "SELECT m.name || ' ' || c.name || ' ' || c.type || ' ' || c.\"notnull\" || ' ' || COALESCE(c.dflt_value, '-')"
        " || ' ' || c.pk FROM sqlite_master m, pragma_table_info(m.name) c WHERE m.type = 'table'",
        "SELECT m.name || ' references ' || f.\"table\" || '(' || f.\"to\" || ') from ' || f.\"from\" || ' ' || f.on_delete"
        " FROM sqlite_master m, pragma_foreign_key_list(m.name) f WHERE m.type = 'table'",
        "SELECT m.name || ' index ' || i.name || ' ' || i.\"unique\" || ' ' || (SELECT group_concat(name, ',')"
        " FROM pragma_index_info(i.name)) FROM sqlite_master m, pragma_index_list(m.name) i"
        " WHERE m.type = 'table' AND i.origin = 'c'",
        "SELECT m.name || ' keyed ' || i.origin || ' ' || (SELECT group_concat(name, ',') FROM pragma_index_info(i.name))"
        " FROM sqlite_master m, pragma_index_list(m.name) i WHERE m.type = 'table' AND i.origin <> 'c'",
    };
    const char* const postgres[] = {
        "SELECT table_name || ' ' || column_name || ' ' || data_type || ' ' || is_nullable || ' ' ||"
        " COALESCE(column_default, '-') || ' ' || is_identity FROM information_schema.columns"
        " WHERE table_schema = 'public'",
        "SELECT conrelid::regclass::text || ' ' || pg_get_constraintdef(oid) FROM pg_constraint"
        " WHERE connamespace = 'public'::regnamespace",
        "SELECT tablename || ' ' || indexname || ' ' || substring(indexdef from ' USING .*') FROM pg_indexes"
        " WHERE schemaname = 'public' AND indexname NOT LIKE '%pkey' AND indexname NOT LIKE '%key'",
    };
    std::vector<std::string> lines;
    const bool pg = db.engine() == db::Engine::PostgreSQL;
    for (const char* sql : pg ? std::vector<const char*>(std::begin(postgres), std::end(postgres))
                              : std::vector<const char*>(std::begin(sqlite), std::end(sqlite))) {
        auto st = db.prepare(sql);
        while (st->step()) lines.push_back(st->text(0));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class SchemaFile : public ::testing::TestWithParam<Backend> {};

TEST_P(SchemaFile, MakesWhatTheOldestSchemaMigratedBecomesAndOldBuildsFailLoudlyThere) {
    VANTREL_SKIP_WITHOUT(GetParam());
    ScratchDir dir;
    TestDatabase fresh(GetParam(), dir, "fresh.db"), migrated(GetParam(), dir, "migrated.db");
    {
        auto db = db::open(migrated.target());
        const auto [version, text] = db::oldestSchema(db->engine());
        db->beginSchemaChange();
        db->execute(std::string(text));
        db->setSchemaVersion(version);
        db->commit();
    }
    Store(fresh.target(), StoreOptions{kTestIterations});
    Store(migrated.target(), StoreOptions{kTestIterations});
    const auto made = describe(*db::open(fresh.target()));
    EXPECT_GT(made.size(), 40u);
    EXPECT_EQ(made, describe(*db::open(migrated.target())));

    // A process of the build before still running: its reset and its upload are refused, not
    // done around the collections.
    auto old = db::open(migrated.target());
    EXPECT_THROW(old->execute("DELETE FROM items WHERE profile_id = 1"), StoreError);
    EXPECT_THROW(old->execute("INSERT INTO items (profile_id, category, text) VALUES (1, 'Software', 'x')"), StoreError);
}

INSTANTIATE_TEST_SUITE_P(Backends, SchemaFile, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
