#pragma once
// Shared scaffolding of the data service tests: a fresh database in a temporary folder, the
// server in-process on a free port, and small HTTP clients (the library's, and raw bytes).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>
#include <libpq-fe.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gmock/gmock.h>

#include "dataservice/server.h"
#include "dataservice/store/store.h"
#include "platform/common/text.h"
#include "platform/recordset/recordset.h"
#include "tests/support/dataservice_process.h"
#include "tests/support/scratch_dir.h"

namespace dataservice::testing {

// A peer that closes first must not end the test program.
inline const bool kIgnoreSigpipe = [] {
    signal(SIGPIPE, SIG_IGN);
    return true;
}();

// Few iterations keep the many account checks of the tests quick; the hash is the same kind.
inline constexpr int kTestIterations = 1000;

// The program itself, run to its end: `vantrel-dataservice args...`.
using process::Outcome;
inline Outcome run(const std::vector<std::string>& args, const std::string& input = "") {
    return process::runDataService(args, input);
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Percent-encodes every byte but the unreserved ones, as the collector does.
inline std::string encode(const std::string& value) { return text::PercentEncode(value); }

// True once `reply` holds a whole response: its headers and as many body bytes as announced.
inline bool completeResponse(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    std::string head = reply.substr(0, end);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t cl = head.find("\r\ncontent-length:");
    const std::size_t length = cl == std::string::npos ? 0 : std::strtoul(head.c_str() + cl + 17, nullptr, 10);
    return reply.size() >= end + 4 + length;
}

// Sends raw bytes on a new connection and returns everything the server sent back before it
// closed (or before `waitMs` passed without a byte). The writing side stays open: the HTTP
// library does not answer a peer that has half-closed its connection.
inline std::string rawExchange(int port, const std::string& bytes, int waitMs = 5000) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return {};
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        char buf[4096];
        while (true) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, waitMs) <= 0) break;
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            reply.append(buf, static_cast<std::size_t>(n));
            if (completeResponse(reply)) break;
        }
    }
    close(fd);
    return reply;
}

// The HTTP status of a raw reply ("HTTP/1.1 404 ..."), or 0 for none.
inline int rawStatus(const std::string& reply) {
    if (reply.compare(0, 5, "HTTP/") != 0) return 0;
    const std::size_t sp = reply.find(' ');
    return sp == std::string::npos ? 0 : std::atoi(reply.c_str() + sp + 1);
}

// The engines the store runs on. Tests that store anything run on both; PostgreSQL's run needs
// a server named by the environment (PGHOST, PGPORT, PGUSER, PGPASSWORD, PGDATABASE), as
// pg_virtualenv sets it, and is skipped without one.
enum class Backend { SQLite, PostgreSQL };
inline const auto kBackends = ::testing::Values(Backend::SQLite, Backend::PostgreSQL);
inline std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}
inline bool postgresAvailable() { return std::getenv("PGHOST") && std::getenv("PGDATABASE"); }
#define VANTREL_SKIP_WITHOUT(backend)                                                                   \
    if ((backend) == ::dataservice::testing::Backend::PostgreSQL &&                                     \
        !::dataservice::testing::postgresAvailable())                                                    \
    GTEST_SKIP() << "no PostgreSQL server in the environment (PGHOST, PGDATABASE); run under pg_virtualenv"

// Runs one statement on the server's own database (PGDATABASE); throws on failure.
inline void postgresAdmin(const std::string& sql) {
    PGconn* conn = PQconnectdb("");
    const bool ok = PQstatus(conn) == CONNECTION_OK;
    PGresult* res = ok ? PQexec(conn, sql.c_str()) : nullptr;
    const bool done = res && PQresultStatus(res) == PGRES_COMMAND_OK;
    const std::string why = PQerrorMessage(conn);
    PQclear(res);
    PQfinish(conn);
    if (!done) throw std::runtime_error(sql + ": " + why);
}

// A fresh, empty database for one test: a file in `dir`, or a new PostgreSQL database that is
// dropped again afterwards.
class TestDatabase {
public:
    TestDatabase(Backend backend, const ScratchDir& dir, const std::string& name = "service.db") : backend_(backend) {
        if (backend == Backend::SQLite) {
            target_ = dir.file(name);
            return;
        }
        static int counter = 0;
        pgName_ = "vantrel_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        postgresAdmin("CREATE DATABASE " + pgName_);
        target_ = "postgresql:///" + pgName_;
    }
    ~TestDatabase() {
        if (pgName_.empty()) return;
        try {
            postgresAdmin("DROP DATABASE IF EXISTS " + pgName_ + " WITH (FORCE)");
        } catch (const std::exception&) {
            // The cluster is a throwaway one; a leftover database goes with it.
        }
    }
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;
    const std::string& target() const { return target_; }
    Backend backend() const { return backend_; }

private:
    Backend backend_;
    std::string target_;
    std::string pgName_;
};

// A fresh database and the server on it, answering on 127.0.0.1 and a free port. Fixtures
// that derive from BackendServiceFixture run on each backend.
class ServiceFixture : public ::testing::Test {
protected:
    virtual Backend backend() const { return Backend::SQLite; }
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(backend());
        database = std::make_unique<TestDatabase>(backend(), dir);
        store = std::make_unique<Store>(database->target(), storeOptions());
        server = std::make_unique<Server>(*store, serverOptions());
        server->start();
        client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
        client->set_url_encode(false);  // the tests encode as the collector does
        client->set_keep_alive(true);
        client->set_read_timeout(10, 0);
    }
    void TearDown() override {
        client.reset();
        if (server) server->stop();
        server.reset();
        store.reset();
        database.reset();
    }
    virtual std::string journalFile() { return {}; }
    virtual StoreOptions storeOptions() { return StoreOptions{kTestIterations}; }
    virtual ServerOptions serverOptions() {
        ServerOptions options;
        options.journalFile = journalFile();
        return options;
    }

    // GET `target` ("/page.asp?..."): status and body; status 0 when no answer came.
    std::pair<int, std::string> get(const std::string& target) {
        const auto res = client->Get(target.c_str());
        if (!res) return {0, {}};
        return {res->status, res->body};
    }
    // Signs in on the profile page as a browser would: the form's token from its cookie, then
    // the post. Returns the Cookie header to send afterwards, or "" when refused (the page
    // that came back is left in *page).
    std::string signIn(const std::string& name, const std::string& password, std::string* page = nullptr,
                       httplib::Headers extra = {}) {
        const auto form = client->Get("/profile/hwsw.asp");
        if (!form) return {};
        const std::string token = cookieIn(*form, "vantrel_form");
        httplib::Headers headers = {{"Cookie", "vantrel_form=" + token}};
        headers.insert(extra.begin(), extra.end());
        const auto res = client->Post("/profile/hwsw.asp", headers,
                                      "action=signin&form=" + token + "&UID=" + encode(name) + "&PWD=" + encode(password),
                                      "application/x-www-form-urlencoded");
        if (!res) return {};
        if (page) *page = res->body;
        const std::string session = cookieIn(*res, "vantrel_session");
        return res->status == 303 && !session.empty() ? "vantrel_session=" + session : std::string();
    }
    // The value a reply's Set-Cookie gives `name`, or "".
    static std::string cookieIn(const httplib::Response& res, const std::string& name) {
        for (std::size_t i = 0; i < res.get_header_value_count("Set-Cookie"); ++i) {
            const std::string c = res.get_header_value("Set-Cookie", i);
            if (c.rfind(name + "=", 0) == 0) return c.substr(name.size() + 1, c.find(';') - name.size() - 1);
        }
        return {};
    }
    // GET with a Cookie header.
    std::pair<int, std::string> getWith(const std::string& target, const std::string& cookies) {
        const auto res = client->Get(target.c_str(), httplib::Headers{{"Cookie", cookies}});
        if (!res) return {0, {}};
        return {res->status, res->body};
    }

    // GET and read the reply as a record set; fails the test for anything else.
    platform::RecordSet records(const std::string& target) {
        const auto [status, body] = get(target);
        EXPECT_EQ(status, 200) << target;
        return platform::ParseRecordSet(body);
    }

    ScratchDir dir;
    std::unique_ptr<TestDatabase> database;
    std::unique_ptr<Store> store;
    std::unique_ptr<Server> server;
    std::unique_ptr<httplib::Client> client;
};

class BackendServiceFixture : public ServiceFixture, public ::testing::WithParamInterface<Backend> {
protected:
    Backend backend() const override { return GetParam(); }
};

}  // namespace dataservice::testing
