// A connection to PostgreSQL that dies at the commit: the writer finds out whether the server
// committed before it runs anything again, so a batch is stored once or not at all and each job
// is told which.
#include <netdb.h>
#include <sys/un.h>

#include <atomic>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "dataservice/store/access.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

// Connects to the server pg_virtualenv named (a socket folder or a host) and its port.
int connectToPostgres() {
    const std::string host = std::getenv("PGHOST") ? std::getenv("PGHOST") : "localhost";
    const std::string port = std::getenv("PGPORT") ? std::getenv("PGPORT") : "5432";
    if (!host.empty() && host[0] == '/') {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/.s.PGSQL.%s", host.c_str(), port.c_str());
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
        close(fd);
        return -1;
    }
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

// Passes bytes between the writer and PostgreSQL on 127.0.0.1; once armed, cuts the connection
// at the commit, on one side of the server's COMMIT or the other.
class CommitCutter {
public:
    enum class Cut { BeforeTheServerCommits, AfterTheServerCommitted };

    CommitCutter() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(listener_, 8);
        socklen_t len = sizeof addr;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~CommitCutter() {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        acceptor_.join();
        std::lock_guard lock(mutex_);
        for (auto& [a, b] : pairs_) {
            shutdown(a, SHUT_RDWR);
            shutdown(b, SHUT_RDWR);
        }
        for (std::thread& t : pumps_) t.join();
        for (auto& [a, b] : pairs_) {
            close(a);
            close(b);
        }
    }
    void arm(Cut cut) {
        cut_ = cut;
        armed_ = true;
    }
    bool cut() const { return cuts_ > 0; }
    std::string target(const std::string& database) const {
        return "postgresql://127.0.0.1:" + std::to_string(port_) + "/" + database + "?sslmode=disable";
    }

private:
    void acceptLoop() {
        while (!stopping_) {
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            const int server = connectToPostgres();
            std::lock_guard lock(mutex_);
            pairs_.emplace_back(client, server);
            pumps_.emplace_back([this, client, server] { pump(client, server, false); });
            pumps_.emplace_back([this, client, server] { pump(server, client, true); });
        }
    }
    // The query text COMMIT on its way in, or its CommandComplete on its way out.
    bool atTheCut(const std::string& chunk, bool fromServer) const {
        if (!armed_ || (cut_ == Cut::AfterTheServerCommitted) != fromServer) return false;
        static const std::string complete("C\0\0\0\x0b" "COMMIT\0", 12);
        static const std::string query("COMMIT\0", 7);
        return chunk.find(fromServer ? complete : query) != std::string::npos;
    }
    void pump(int from, int to, bool fromServer) {
        char buf[65536];
        for (;;) {
            const ssize_t n = recv(from, buf, sizeof buf, 0);
            if (n <= 0) break;
            if (atTheCut(std::string(buf, static_cast<std::size_t>(n)), fromServer) && armed_.exchange(false)) {
                ++cuts_;
                break;  // the chunk is dropped with the connection
            }
            if (send(to, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
        }
        shutdown(from, SHUT_RDWR);
        shutdown(to, SHUT_RDWR);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false}, armed_{false};
    std::atomic<int> cuts_{0};
    std::atomic<Cut> cut_{Cut::BeforeTheServerCommits};
    std::mutex mutex_;
    std::vector<std::pair<int, int>> pairs_;
    std::vector<std::thread> pumps_;
    std::thread acceptor_;
};

class CommitLoss : public ::testing::TestWithParam<CommitCutter::Cut> {};

TEST_P(CommitLoss, ABatchIsStoredOnceAndEachJobIsToldWhetherItWas) {
    VANTREL_SKIP_WITHOUT(Backend::PostgreSQL);
    ScratchDir dir;
    TestDatabase database(Backend::PostgreSQL, dir);
    CommitCutter cutter;
    const std::string name = database.target().substr(database.target().rfind('/') + 1);
    Access access(cutter.target(name), [](Sql& sql) {
        sql.execute("CREATE TABLE t (k BIGINT PRIMARY KEY, n BIGINT NOT NULL DEFAULT 1)");
    });
    // Written as an upload or a reset would be: run twice, it shows (a second row, or n = 2).
    const auto job = [&access](std::int64_t k) {
        return [&access, k] {
            access.write([k](Sql& sql) {
                auto st = sql.query("INSERT INTO t (k) VALUES (?1) ON CONFLICT (k) DO UPDATE SET n = t.n + 1");
                st->bind(1, k).send();
            });
        };
    };
    access.write([](Sql& sql) { sql.query("INSERT INTO t (k) VALUES (0)")->run(); });  // a session, and a mark

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> holding;
    // Armed once the holder's own batch has committed, so the cut falls on the jobs' batch.
    access.submit([&holding, released] { holding.set_value(), released.wait(); },
                  [&cutter](std::exception_ptr) { cutter.arm(GetParam()); });
    holding.get_future().wait();
    std::vector<std::shared_ptr<std::promise<std::exception_ptr>>> outcomes;
    for (std::int64_t k = 1; k <= 4; ++k) {
        outcomes.push_back(std::make_shared<std::promise<std::exception_ptr>>());
        access.submit(job(k), [o = outcomes.back()](std::exception_ptr e) { o->set_value(e); });
    }
    release.set_value();
    for (auto& o : outcomes) EXPECT_FALSE(o->get_future().get()) << "a job was not stored";
    EXPECT_TRUE(cutter.cut()) << "the connection was never cut at the commit";

    const auto rows = access.read([](Sql& sql) {
        std::map<std::int64_t, std::int64_t> out;
        auto st = sql.query("SELECT k, n FROM t");
        while (st->step()) out.emplace(st->integer(0), st->integer(1));
        return out;
    });
    EXPECT_EQ(rows, (std::map<std::int64_t, std::int64_t>{{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}}))
        << "a job ran twice or not at all";
}

INSTANTIATE_TEST_SUITE_P(PostgreSQL, CommitLoss,
                         ::testing::Values(CommitCutter::Cut::BeforeTheServerCommits,
                                           CommitCutter::Cut::AfterTheServerCommitted),
                         [](const auto& info) {
                             return info.param == CommitCutter::Cut::BeforeTheServerCommits ? "BeforeTheServerCommits"
                                                                                             : "AfterTheServerCommitted";
                         });

}  // namespace
}  // namespace dataservice::testing
