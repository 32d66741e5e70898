// Service processes as a fleet runs them: two sharing one database, and one killed mid-load
// and started again. Bounded in requests and time; everything on 127.0.0.1.
#include <sqlite3.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using Clock = std::chrono::steady_clock;

// A service process serving `db` on a free port.
struct Service {
    explicit Service(const std::string& db) : server(db) {
        server.start();
        port = server.port();
    }
    process::DataService server;
    int port = 0;
};

std::unique_ptr<httplib::Client> clientFor(int port) {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", port);
    c->set_url_encode(false);
    c->set_keep_alive(true);
    c->set_connection_timeout(1, 0);
    c->set_read_timeout(10, 0);
    return c;
}

std::string itemText(int collector, int item) {
    return "item " + std::to_string(item) + " of collector " + std::to_string(collector);
}

std::string userName(int collector) { return "fleet" + std::to_string(collector); }

std::string uploadTarget(int collector, int item) {
    return "/sftdata.asp?UID=" + userName(collector) + "&qIS=" + encode(itemText(collector, item)) + "&PWD=pw";
}

// The item numbers of a `list-items` listing of collector `c`, in the order listed; -1 for a
// line that is no item of that collector.
std::vector<int> listedItems(const std::string& listing, int c) {
    std::vector<int> out;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        const std::string prefix = "Software\titem ";
        const std::string suffix = " of collector " + std::to_string(c);
        const bool ours = line.rfind(prefix, 0) == 0 && line.size() > prefix.size() + suffix.size() &&
                          line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
        out.push_back(ours ? std::atoi(line.c_str() + prefix.size()) : -1);
    }
    return out;
}

// The first column of the first row of `sql` on a PostgreSQL database; throws on failure.
std::string postgresValue(const std::string& target, const std::string& sql) {
    PGconn* conn = PQconnectdb(target.c_str());
    PGresult* res = PQstatus(conn) == CONNECTION_OK ? PQexec(conn, sql.c_str()) : nullptr;
    const auto status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    std::string value;
    const bool ok = status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
    if (ok && status == PGRES_TUPLES_OK && PQntuples(res) > 0) value = PQgetvalue(res, 0, 0);
    const std::string why = PQerrorMessage(conn);
    PQclear(res);
    PQfinish(conn);
    if (!ok) throw std::runtime_error(sql + ": " + why);
    return value;
}

class Fleet : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(GetParam());
        database = std::make_unique<TestDatabase>(GetParam(), dir);
    }
    std::string db() const { return database->target(); }
    void addAccounts(int n) {
        Store store(db(), StoreOptions{kTestIterations});
        for (int c = 0; c < n; ++c) ASSERT_TRUE(store.profiles().addAccount(userName(c), "pw"));
    }
    // What the database engine itself says of its state after a crash.
    void expectSoundDatabase() {
        if (GetParam() == Backend::SQLite) {
            sqlite3* raw = nullptr;
            ASSERT_EQ(sqlite3_open(db().c_str(), &raw), SQLITE_OK);
            std::string result;
            sqlite3_exec(
                raw, "PRAGMA integrity_check",
                [](void* out, int, char** values, char**) {
                    *static_cast<std::string*>(out) += values[0] ? values[0] : "";
                    return 0;
                },
                &result, nullptr);
            int orphans = -1;
            sqlite3_exec(
                raw, "SELECT count(*) FROM pragma_foreign_key_check",
                [](void* out, int, char** values, char**) {
                    *static_cast<int*>(out) = std::atoi(values[0]);
                    return 0;
                },
                &orphans, nullptr);
            sqlite3_close(raw);
            EXPECT_EQ(result, "ok");
            EXPECT_EQ(orphans, 0);
            return;
        }
        // Every row readable, the references whole, and each B-tree index in order.
        EXPECT_NO_THROW(postgresValue(db(), "SELECT count(*), sum(length(text)) FROM collected_items"));
        EXPECT_EQ(postgresValue(db(), "SELECT count(*) FROM collected_items i LEFT JOIN profiles p ON p.id = i.profile_id"
                                      " WHERE p.id IS NULL"),
                  "0");
        postgresValue(db(), "CREATE EXTENSION IF NOT EXISTS amcheck");
        // A damaged index makes bt_index_check raise an error, which fails the query.
        std::string checked;
        EXPECT_NO_THROW(checked = postgresValue(
                            db(), "SELECT count(bt_index_check(c.oid, true)) FROM pg_index i"
                                  " JOIN pg_class c ON c.oid = i.indexrelid JOIN pg_am a ON a.oid = c.relam"
                                  " WHERE a.amname = 'btree' AND c.relnamespace = 'public'::regnamespace"));
        EXPECT_EQ(checked, "16");  // every index of the schema, and the writer's marks
    }

    ScratchDir dir;
    std::unique_ptr<TestDatabase> database;
};

TEST_P(Fleet, TwoProcessesStoreEveryItemOnceInEachProfilesArrivalOrder) {
    constexpr int kCollectors = 8, kItems = 60;
    addAccounts(kCollectors);
    Service a(db()), b(db());
    std::atomic<int> failures{0};
    std::vector<std::thread> collectors;
    for (int c = 0; c < kCollectors; ++c)
        collectors.emplace_back([&, c] {
            // Each request goes to the other process than the one before, as a balancer might.
            std::unique_ptr<httplib::Client> both[2] = {clientFor(a.port), clientFor(b.port)};
            int turn = c;
            // A collector waits out a busy answer: a cold burst of checks may be told to come back.
            const auto send = [&](const std::string& target) {
                httplib::Client& to = *both[turn++ % 2];
                for (int attempt = 0; attempt < 20; ++attempt) {
                    const auto res = to.Get(target.c_str());
                    if (res && (res->status == 503 || res->status == 429) && res->has_header("Retry-After")) {
                        std::this_thread::sleep_for(std::chrono::seconds(std::stoi(res->get_header_value("Retry-After"))));
                        continue;
                    }
                    if (!res || res->status != 200) ++failures;
                    return;
                }
                ++failures;
            };
            send("/updatedata.asp?UID=" + userName(c) + "&PWD=pw&crDate=&luDate=");
            for (int i = 0; i < kItems; ++i) send(uploadTarget(c, i));
            send("/finalize.asp?UID=" + userName(c) + "&PWD=pw");
        });
    for (auto& t : collectors) t.join();
    EXPECT_EQ(failures.load(), 0);

    std::vector<int> expected(kItems);
    for (int i = 0; i < kItems; ++i) expected[static_cast<std::size_t>(i)] = i;
    for (int c = 0; c < kCollectors; ++c) {
        const Outcome listed = run({"--db", db(), "list-items", userName(c)});
        ASSERT_EQ(listed.status, 0) << listed.err;
        EXPECT_EQ(listedItems(listed.out, c), expected) << userName(c);
    }
    EXPECT_EQ(a.server.stop(), 0);
    EXPECT_EQ(b.server.stop(), 0);
}

TEST_P(Fleet, AServiceKilledMidLoadLosesNothingItAcknowledged) {
    constexpr int kCollectors = 4, kItems = 150;
    addAccounts(kCollectors);
    auto service = std::make_unique<Service>(db());
    std::atomic<int> port{service->port};
    std::atomic<int> acknowledged{0}, refused{0};
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    std::vector<std::set<int>> acked(kCollectors), failedOnce(kCollectors);
    std::vector<std::thread> collectors;
    for (int c = 0; c < kCollectors; ++c)
        collectors.emplace_back([&, c] {
            int usedPort = port;
            auto client = clientFor(usedPort);
            // A collector that tries an item again until it is answered, as a patient one would.
            for (int i = 0; i < kItems && Clock::now() < deadline; ++i) {
                while (Clock::now() < deadline) {
                    if (port != usedPort) client = clientFor(usedPort = port);
                    const auto res = client->Get(uploadTarget(c, i).c_str());
                    if (res && res->status == 200) {
                        acked[static_cast<std::size_t>(c)].insert(i);
                        ++acknowledged;
                        break;
                    }
                    failedOnce[static_cast<std::size_t>(c)].insert(i);
                    ++refused;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            }
        });

    while (acknowledged < kCollectors * kItems / 3 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    service->server.kill();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the outage
    service = std::make_unique<Service>(db());
    port = service->port;
    for (auto& t : collectors) t.join();

    EXPECT_GT(refused.load(), 0) << "no request fell into the outage";
    EXPECT_EQ(service->server.stop(), 0);
    for (int c = 0; c < kCollectors; ++c) {
        const auto& mine = acked[static_cast<std::size_t>(c)];
        EXPECT_EQ(mine.size(), static_cast<std::size_t>(kItems));
        const Outcome listed = run({"--db", db(), "list-items", userName(c)});
        ASSERT_EQ(listed.status, 0) << listed.err;
        const std::vector<int> items = listedItems(listed.out, c);
        const std::set<int> stored(items.begin(), items.end());
        for (const int i : mine) EXPECT_TRUE(stored.count(i)) << "acknowledged item " << i << " of " << c << " lost";
        // In sending order; an item twice only where a reply was lost and it was sent again.
        for (std::size_t k = 1; k < items.size(); ++k) {
            EXPECT_GE(items[k], items[k - 1]) << "collector " << c;
            if (items[k] == items[k - 1]) {
                EXPECT_TRUE(failedOnce[static_cast<std::size_t>(c)].count(items[k])) << "collector " << c;
            }
        }
    }
    expectSoundDatabase();
}

INSTANTIATE_TEST_SUITE_P(Backends, Fleet, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
