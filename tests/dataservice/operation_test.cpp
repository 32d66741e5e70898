// The service as an operator runs it, end to end against the real program: the health check,
// the metrics (read by promtool), systemd's notify socket, thousands of kept-alive collectors,
// a backup under load, and TLS with a certificate renewed under a running process.
#include <sys/resource.h>
#include <sys/un.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <regex>
#include <thread>

#include "tests/dataservice/harness.h"
#include "tests/support/dataservice_process.h"

namespace dataservice::testing {
namespace {

using namespace std::chrono_literals;
using process::Outcome;

// The program's own command line, `args` after the binary.
std::vector<std::string> program(std::vector<std::string> args) {
    args.insert(args.begin(), process::dataServiceBinary());
    return args;
}

Outcome run(const std::vector<std::string>& args, const std::string& input = {}) {
    return process::run(program(args), input);
}

// What the child wrote to standard error, once it has ended.
std::string errorsOf(process::Child& child) {
    child.readAll(10s);
    return child.errors();
}

// The program serving `db` with `extra` options; port() once it has said it listens.
struct Service {
    process::Child child;
    int port = -1;
    Service(const std::string& db, std::vector<std::string> extra)
        : child(program(args(db, std::move(extra))), process::Options{{}, true, true}) {
        const std::string line = child.readLine(20s);
        const std::size_t colon = line.rfind(':');
        if (line.rfind("listening on", 0) == 0 && colon != std::string::npos) port = std::atoi(line.c_str() + colon + 1);
    }
    static std::vector<std::string> args(const std::string& db, std::vector<std::string> extra) {
        std::vector<std::string> a = {"--db", db, "--port", "0"};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
};

std::pair<int, std::string> httpGet(int port, const std::string& target, int timeoutSeconds = 5) {
    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    client.set_connection_timeout(timeoutSeconds, 0);
    client.set_read_timeout(timeoutSeconds, 0);
    const auto res = client.Get(target.c_str());
    return res ? std::pair{res->status, res->body} : std::pair{0, std::string()};
}

std::string shellOutput(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

// An upload of one software item for `name`, as the collector sends it.
std::string upload(const std::string& name, const std::string& item) {
    return "/sftdata.asp?UID=" + encode(name) + "&PWD=pw&qIS=" + encode(item);
}

class Operation : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        VANTREL_SKIP_WITHOUT(GetParam());
        database = std::make_unique<TestDatabase>(GetParam(), dir);
        ASSERT_EQ(run({"--db", db(), "add-account", "jo", "-"}, "pw\n").status, 0);
    }
    std::string db() const { return database->target(); }
    ScratchDir dir;
    std::unique_ptr<TestDatabase> database;
};

// The cluster pg_virtualenv made for this run: "VERSION NAME".
std::string ourCluster() {
    return shellOutput("pg_lsclusters -h | awk -v port=\"$PGPORT\" '$3 == port { printf \"%s %s\", $1, $2 }'");
}

TEST_P(Operation, HealthAnswersWhileTheStoreDoesAndIsNeverJournalled) {
    Service service(db(), {"--journal", dir.file("journal.txt")});
    ASSERT_GT(service.port, 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(httpGet(service.port, "/healthz"), std::pair(200, std::string("ok\n")));
    EXPECT_EQ(rawStatus(rawExchange(service.port, "POST /healthz HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n")), 405);
    service.child.signal(SIGTERM);
    EXPECT_EQ(service.child.wait(), 0);
    EXPECT_EQ(readFile(dir.file("journal.txt")), "");
    EXPECT_EQ(run({"--db", db(), "list-journal"}).out, "");
    if (GetParam() != Backend::PostgreSQL) return;

    // The database server stops under a running service and comes back.
    const std::string cluster = ourCluster();
    ASSERT_FALSE(cluster.empty()) << "cannot tell which cluster serves PGPORT";
    Service again(db(), {});
    ASSERT_GT(again.port, 0);
    EXPECT_EQ(httpGet(again.port, "/healthz").first, 200);
    ASSERT_EQ(std::system(("pg_ctlcluster " + cluster + " stop -m fast").c_str()), 0);
    const auto asked = std::chrono::steady_clock::now();
    const auto down = httpGet(again.port, "/healthz");
    EXPECT_EQ(down.first, 503);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    ASSERT_EQ(std::system(("pg_ctlcluster " + cluster + " start").c_str()), 0);
    int status = 0;
    for (int i = 0; i < 40 && status != 200; ++i) {
        status = httpGet(again.port, "/healthz").first;
        if (status != 200) std::this_thread::sleep_for(250ms);
    }
    EXPECT_EQ(status, 200) << "the service did not find the database again";
}

// The value of one sample line, e.g. `vantrel_http_requests_total{page="sftdata.asp",status="200"}`.
double sample(const std::string& text, const std::string& name) {
    const std::size_t at = text.find("\n" + name + " ");
    if (at == std::string::npos) return -1;
    return std::atof(text.c_str() + at + name.size() + 2);
}

TEST_P(Operation, MetricsCountWhatHappenedAndPassPromtool) {
    if (std::system("command -v promtool >/dev/null") != 0) GTEST_SKIP() << "promtool (package prometheus) is missing";
    Service service(db(), {"--metrics-listen", "127.0.0.1:0"});
    ASSERT_GT(service.port, 0);
    const std::string line = service.child.readLine();
    const std::string prefix = "metrics on http://127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const int metricsPort = std::atoi(line.c_str() + prefix.size());
    // Never on the public port.
    EXPECT_EQ(httpGet(service.port, "/metrics").first, 404);

    constexpr int kUploads = 37, kWrong = 3;
    for (int i = 0; i < kUploads; ++i) ASSERT_EQ(httpGet(service.port, upload("jo", "app " + std::to_string(i))).first, 200);
    for (int i = 0; i < kWrong; ++i)
        EXPECT_EQ(httpGet(service.port, "/sftdata.asp?UID=jo&PWD=nope&qIS=x").first, 200);
    EXPECT_EQ(httpGet(service.port, "/healthz").first, 200);
    httplib::Client held("127.0.0.1", service.port);  // one connection left open
    held.set_keep_alive(true);
    ASSERT_TRUE(held.Get("/getversion.asp?Major=1&Minor=1&Rev=11"));

    const auto [status, text] = httpGet(metricsPort, "/metrics");
    ASSERT_EQ(status, 200);
    const std::string file = dir.file("metrics.txt");
    std::ofstream(file) << text;
    int rc = -1;
    const std::string verdict = shellOutput("promtool check metrics < '" + file + "' 2>&1", &rc);
    EXPECT_EQ(rc, 0) << verdict << text;

    EXPECT_EQ(sample(text, R"(vantrel_http_requests_total{page="sftdata.asp",status="200"})"), kUploads + kWrong) << text;
    EXPECT_EQ(sample(text, R"(vantrel_http_requests_total{page="healthz",status="200"})"), 1);
    EXPECT_EQ(sample(text, R"(vantrel_http_request_duration_seconds_count{page="sftdata.asp"})"), kUploads + kWrong);
    EXPECT_EQ(sample(text, R"(vantrel_signin_refused_total{reason="password"})"), kWrong);
    EXPECT_EQ(sample(text, R"(vantrel_signin_refused_total{reason="limited"})"), 0);
    EXPECT_EQ(sample(text, "vantrel_store_errors_total"), 0);
    EXPECT_GE(sample(text, "vantrel_connections_open"), 1);
    // Every upload was committed, in one batch or several; the wrong passwords were counted
    // in transactions of their own.
    EXPECT_GE(sample(text, "vantrel_store_commit_batch_size_sum"), kUploads);
    EXPECT_GE(sample(text, "vantrel_store_commit_duration_seconds_count"), 1);
    EXPECT_NE(text.find("vantrel_build_info{version=\""), std::string::npos);
    for (const char* name : {"vantrel_http_requests_total", "vantrel_http_request_duration_seconds",
                             "vantrel_store_commit_batch_size", "vantrel_store_commit_duration_seconds",
                             "vantrel_connections_open", "vantrel_connections_refused_total",
                             "vantrel_signin_refused_total", "vantrel_store_errors_total",
                             "vantrel_build_info"}) {
        EXPECT_NE(text.find(std::string("# HELP ") + name + " "), std::string::npos) << name;
        EXPECT_NE(text.find(std::string("# TYPE ") + name + " "), std::string::npos) << name;
    }
}

// A datagram socket of the test's own standing in for systemd's.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) : path_(path) {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~NotifySocket() {
        close(fd_);
        unlink(path_.c_str());
    }
    bool bound() const { return bound_; }
    // The next message that contains `what`, waiting at most `ms`; "" when none came.
    std::string await(const std::string& what, int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) != 1) continue;
            char buf[4096];
            const ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) continue;
            std::string message(buf, static_cast<std::size_t>(n));
            seen += message + "|";
            if (message.find(what) != std::string::npos) return message;
        }
        return {};
    }
    std::string seen;

private:
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

TEST_P(Operation, TellsSystemdWhenReadyAliveAndStopping) {
    NotifySocket notify(dir.file("notify"));
    ASSERT_TRUE(notify.bound());
    setenv("NOTIFY_SOCKET", dir.file("notify").c_str(), 1);
    setenv("WATCHDOG_USEC", "400000", 1);
    Service service(db(), {"--log-format", "json"});
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    ASSERT_GT(service.port, 0);
    EXPECT_NE(notify.await("READY=1", 5000), "") << notify.seen;
    // Half the interval apart, from a loop that answered.
    EXPECT_NE(notify.await("WATCHDOG=1", 2000), "") << notify.seen;
    EXPECT_NE(notify.await("WATCHDOG=1", 2000), "") << notify.seen;
    service.child.signal(SIGTERM);
    EXPECT_NE(notify.await("STOPPING=1", 5000), "") << notify.seen;
    EXPECT_EQ(service.child.wait(), 0);
    // One JSON object a line, for log shippers.
    std::istringstream log(errorsOf(service.child));
    std::vector<std::string> events;
    for (std::string line; std::getline(log, line);) {
        EXPECT_EQ(line.rfind("{\"event\":\"", 0), 0u) << line;
        EXPECT_EQ(line.back(), '}') << line;
        events.push_back(line.substr(10, line.find('"', 10) - 10));
    }
    EXPECT_THAT(events, ::testing::ElementsAre("start", "listening", "stopping", "stopped"));
}

TEST_P(Operation, BackupIsAConsistentCopyWhileUploadsGoOn) {
    if (GetParam() == Backend::PostgreSQL) {
        const Outcome o = run({"--db", db(), "backup", dir.file("copy.db")});
        EXPECT_EQ(o.status, 2);
        EXPECT_NE(o.err.find("pg_dump"), std::string::npos) << o.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("copy.db")));
        return;
    }
    Service service(db(), {});
    ASSERT_GT(service.port, 0);
    std::atomic<int> answered{0};
    std::atomic<bool> stop{false};
    std::atomic<int> failed{0};
    std::thread load([&] {
        httplib::Client client("127.0.0.1", service.port);
        client.set_url_encode(false);
        client.set_keep_alive(true);
        for (int i = 0; i < 20000 && !stop; ++i) {
            const auto res = client.Get(upload("jo", "item " + std::to_string(i)).c_str());
            if (res && res->status == 200) ++answered;
            else ++failed;
        }
    });
    while (answered < 200) std::this_thread::sleep_for(5ms);
    const int before = answered;
    const Outcome o = run({"--db", db(), "backup", dir.file("copy.db")});
    const int after = answered;
    stop = true;
    load.join();
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(failed, 0);
    EXPECT_GT(answered, after) << "uploads stopped during the backup";
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy.db") + ".partial-" + std::to_string(service.child.pid())));
    // The copy opens as a database of its own and holds every upload answered before it began.
    const Outcome items = run({"--db", dir.file("copy.db"), "list-items", "jo"});
    ASSERT_EQ(items.status, 0) << items.err;
    const auto lines = std::count(items.out.begin(), items.out.end(), '\n');
    EXPECT_GE(lines, before);
    EXPECT_LE(lines, after + 1);
    for (int i = 0; i < before; ++i)
        ASSERT_NE(items.out.find("item " + std::to_string(i) + "\n"), std::string::npos) << i;
    EXPECT_EQ(run({"--db", dir.file("missing.db"), "backup", dir.file("copy2.db")}).status, 1);
    // The copy holds password hashes and session digests: its owner's alone, as the database.
    const auto mode = std::filesystem::status(dir.file("copy.db")).permissions();
    EXPECT_EQ(mode & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
    // Onto the live database itself, directly or through a link: refused, the service unharmed.
    std::filesystem::create_symlink(db(), dir.file("link.db"));
    for (const std::string& target : {db(), dir.file("link.db")}) {
        const Outcome self = run({"--db", db(), "backup", target});
        EXPECT_EQ(self.status, 2) << target;
        EXPECT_NE(self.err.find("is the database itself"), std::string::npos) << self.err;
    }
    EXPECT_EQ(run({"--db", db(), "list-items", "jo"}).status, 0);
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_P(Operation, PurgesOnATimerOneProcessAtATime) {
    // Two processes on one database, sweeping every 0.3 s, for a while.
    auto race = [&] {
        Service one(db(), {"--purge-every", "0.005"}), two(db(), {"--purge-every", "0.005"});
        EXPECT_GT(one.port, 0);
        EXPECT_GT(two.port, 0);
        std::this_thread::sleep_for(1500ms);
        one.child.signal(SIGTERM);
        two.child.signal(SIGTERM);
        EXPECT_EQ(one.child.wait(), 0);
        EXPECT_EQ(two.child.wait(), 0);
        return std::pair{errorsOf(one.child), errorsOf(two.child)};
    };
    if (GetParam() == Backend::SQLite) {
        const auto [one, two] = race();
        EXPECT_GE(occurrences(one + two, "\npurged evaluations="), 2u) << one << two;
        return;
    }
    // While someone else holds the sweep's lock, neither sweeps.
    PGconn* holder = PQconnectdb(db().c_str());
    ASSERT_EQ(PQstatus(holder), CONNECTION_OK) << PQerrorMessage(holder);
    PQclear(PQexec(holder, "SELECT pg_advisory_lock(7235003)"));
    const auto [heldOne, heldTwo] = race();
    const Outcome command = run({"--db", db(), "purge"});  // the command too waits its turn
    PQfinish(holder);
    EXPECT_EQ(command.status, 1);
    EXPECT_NE(command.err.find("another process is purging"), std::string::npos) << command.err;
    EXPECT_EQ(occurrences(heldOne + heldTwo, "\npurged "), 0u) << heldOne << heldTwo;
    EXPECT_GE(occurrences(heldOne, "purge-skipped"), 1u) << heldOne;
    EXPECT_GE(occurrences(heldTwo, "purge-skipped"), 1u) << heldTwo;
    const auto [one, two] = race();
    EXPECT_GE(occurrences(one + two, "\npurged evaluations="), 2u) << one << two;
}

INSTANTIATE_TEST_SUITE_P(Backends, Operation, kBackends, backendName);

std::size_t residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtoul(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Collectors on slow links each hold a connection for their whole run.
// A connection to the service on 127.0.0.1:`port` from the loopback address `from` (host order),
// which has asked for a HEAD of the version page; -1 when it could not be made.
int connectFrom(std::uint32_t from, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = htonl(from);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(0x7f000001u);
    static const std::string request = "HEAD /getversion.asp HTTP/1.1\r\nHost: x\r\n\r\n";
    if (bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        close(fd);
        return -1;
    }
    return fd;
}

// Closes every descriptor it holds when it goes.
struct Sockets {
    std::vector<int> fds;
    ~Sockets() {
        for (int fd : fds) close(fd);
    }
};

// Waits (at most `limit`) for every socket's first answer: how many were answered with 200 and
// how many closed without one.
std::pair<int, int> answeredAndClosed(const std::vector<int>& fds, std::chrono::seconds limit) {
    std::vector<pollfd> waiting;
    for (int fd : fds) waiting.push_back({fd, POLLIN, 0});
    int answered = 0, closed = 0;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (answered + closed < static_cast<int>(fds.size()) && std::chrono::steady_clock::now() < until) {
        if (poll(waiting.data(), waiting.size(), 200) <= 0) continue;
        for (pollfd& p : waiting) {
            if (p.fd < 0 || !p.revents) continue;
            char buf[512];
            const ssize_t n = recv(p.fd, buf, sizeof buf, 0);
            if (n >= 12 && std::string(buf, 12) == "HTTP/1.1 200")
                ++answered;
            else
                ++closed;
            p.fd = -1;
        }
    }
    return {answered, closed};
}

TEST(Refusals, ConnectionsOverTheLimitAndRefusedSignInsAreCountedAndSummedUp) {
    ScratchDir dir;
    ASSERT_EQ(run({"--db", dir.file("service.db"), "add-account", "jo", "-"}, "pw\n").status, 0);
    Service service(dir.file("service.db"), {"--metrics-listen", "127.0.0.1:0"});
    ASSERT_GT(service.port, 0);
    const int metricsPort = std::atoi(service.child.readLine().substr(std::string("metrics on http://127.0.0.1:").size()).c_str());

    constexpr int kPerAddress = 200, kOver = 5, kWrong = 2;  // the service's limit per address
    Sockets sockets;
    for (int i = 0; i < kPerAddress + kOver; ++i) {
        sockets.fds.push_back(connectFrom(0x7f000009u, service.port));
        ASSERT_GE(sockets.fds.back(), 0) << i;
    }
    EXPECT_EQ(answeredAndClosed(sockets.fds, 10s), std::pair(kPerAddress, kOver));
    // Another address is not held to the first one's limit.
    EXPECT_EQ(httpGet(service.port, "/getversion.asp?Major=1&Minor=1&Rev=11").first, 200);
    for (int i = 0; i < kWrong; ++i) EXPECT_EQ(httpGet(service.port, "/sftdata.asp?UID=jo&PWD=nope&qIS=x").first, 200);

    const auto [status, text] = httpGet(metricsPort, "/metrics");
    ASSERT_EQ(status, 200);
    EXPECT_EQ(sample(text, "vantrel_connections_refused_total"), kOver) << text;
    service.child.signal(SIGTERM);
    EXPECT_EQ(service.child.wait(), 0);
    // Not a line per refusal: one that sums them up (here at the stop, else once a minute).
    const std::string log = errorsOf(service.child);
    EXPECT_EQ(occurrences(log, "\nrefused "), 1u) << log;
    EXPECT_NE(log.find("\nrefused connections=5 signin_password=2 signin_limited=0 seconds="), std::string::npos) << log;
}

// Clients holding every slot the watchdog's own address may have: the loops are at work all the
// same, and systemd must keep hearing so.
TEST(Watchdog, KeepsPingingWhileClientsHoldEverySlotOfItsAddress) {
    ScratchDir dir;
    NotifySocket notify(dir.file("notify"));
    ASSERT_TRUE(notify.bound());
    setenv("NOTIFY_SOCKET", dir.file("notify").c_str(), 1);
    setenv("WATCHDOG_USEC", "400000", 1);
    Service service(dir.file("service.db"), {});
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    ASSERT_GT(service.port, 0);
    ASSERT_NE(notify.await("READY=1", 5000), "") << notify.seen;

    constexpr int kPerAddress = 200;  // the service's limit per address
    Sockets sockets;
    for (int i = 0; i < kPerAddress; ++i) {
        sockets.fds.push_back(connectFrom(0x7f000001u, service.port));
        ASSERT_GE(sockets.fds.back(), 0) << i;
    }
    ASSERT_EQ(answeredAndClosed(sockets.fds, 10s), std::pair(kPerAddress, 0));
    notify.seen.clear();
    for (int i = 0; i < 3; ++i) EXPECT_NE(notify.await("WATCHDOG=1", 2000), "") << i << ": " << notify.seen;
    service.child.signal(SIGTERM);
    EXPECT_EQ(service.child.wait(), 0);
}

TEST(ManyCollectors, FiveThousandKeptAliveFromFortyAddressesAndANewcomerIsAnswered) {
    constexpr int kConnections = 5000, kAddresses = 40;
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_max < 3 * kConnections) GTEST_SKIP() << "the hard limit on open files is " << files.rlim_max;
    files.rlim_cur = files.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);

    ScratchDir dir;
    Service service(dir.file("service.db"), {"--metrics-listen", "127.0.0.1:0"});
    ASSERT_GT(service.port, 0);
    const int metricsPort = std::atoi(service.child.readLine().substr(std::string("metrics on http://127.0.0.1:").size()).c_str());
    const std::size_t before = residentKiB(service.child.pid());

    Sockets sockets;
    for (int i = 0; i < kConnections; ++i) {
        sockets.fds.push_back(connectFrom(0x7f000001u + static_cast<unsigned>(i % kAddresses), service.port));
        ASSERT_GE(sockets.fds.back(), 0) << i;
    }
    // Every one is answered and none is closed.
    ASSERT_EQ(answeredAndClosed(sockets.fds, 10s), std::pair(kConnections, 0));

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(httpGet(service.port, "/healthz"), std::pair(200, std::string("ok\n")));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - asked;
    const auto [status, text] = httpGet(metricsPort, "/metrics");
    ASSERT_EQ(status, 200);
    EXPECT_GE(sample(text, "vantrel_connections_open"), kConnections);
    const std::size_t after = residentKiB(service.child.pid());
    const double perConnection = (static_cast<double>(after) - static_cast<double>(before)) * 1024.0 / kConnections;
    std::printf("%d kept-alive connections from %d addresses: a new client answered in %.3f s; "
                "about %.0f bytes of resident memory per idle connection\n",
                kConnections, kAddresses, took.count(), perConnection);
    RecordProperty("newcomer_seconds", std::to_string(took.count()));
    RecordProperty("bytes_per_idle_connection", std::to_string(static_cast<long>(perConnection)));
}

class Tls : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v openssl >/dev/null") != 0) GTEST_SKIP() << "openssl is not installed";
        for (const char* name : {"first", "second"})
            ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + std::string(name) +
                                   " -keyout '" + dir.file(std::string(name) + ".key") + "' -out '" +
                                   dir.file(std::string(name) + ".pem") + "' 2>/dev/null")
                                      .c_str()),
                      0);
        std::filesystem::copy_file(dir.file("first.pem"), dir.file("cert.pem"));
        std::filesystem::copy_file(dir.file("first.key"), dir.file("key.pem"));
    }
    // What openssl s_client says after sending `input` with `options`; with no input it ends
    // after the handshake, with some it waits for the service to close.
    std::string client(int port, const std::string& options, const std::string& input = "") {
        return shellOutput("printf '" + input + "' | timeout 10 openssl s_client -connect 127.0.0.1:" +
                           std::to_string(port) + (input.empty() ? " " : " -ign_eof ") + options + " 2>&1");
    }
    static bool refused(const std::string& said) {
        return said.find("Cipher is (NONE)") != std::string::npos || said.find("Cipher is ") == std::string::npos;
    }
    ScratchDir dir;
};

TEST_F(Tls, OnlyModernProtocolsAndSuitesAndACertificateRenewedInPlace) {
    Service service(dir.file("service.db"), {"--tls-cert", dir.file("cert.pem"), "--tls-key", dir.file("key.pem")});
    ASSERT_GT(service.port, 0);
    // Offered alone, each old protocol or suite is refused; the client's own floor is lowered
    // so that the refusal is the service's.
    for (const char* old : {"-tls1 -cipher DEFAULT:@SECLEVEL=0", "-tls1_1 -cipher DEFAULT:@SECLEVEL=0",
                            "-tls1_2 -cipher AES128-SHA:@SECLEVEL=0", "-tls1_2 -cipher ECDHE-RSA-AES128-SHA:@SECLEVEL=0",
                            "-tls1_2 -cipher ECDHE-RSA-AES128-SHA256", "-tls1_2 -cipher AES128-GCM-SHA256",
                            "-tls1_2 -cipher DHE-RSA-AES128-GCM-SHA256"})
        EXPECT_TRUE(refused(client(service.port, old))) << old;
    for (const char* good : {"-tls1_3", "-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256",
                             "-tls1_2 -cipher ECDHE-RSA-AES256-GCM-SHA384", "-tls1_2 -cipher ECDHE-RSA-CHACHA20-POLY1305"})
        EXPECT_FALSE(refused(client(service.port, good))) << good;

    const std::string reply = client(service.port, "-quiet", "GET /healthz HTTP/1.1\\r\\nHost: x\\r\\nConnection: close\\r\\n\\r\\n");
    EXPECT_NE(reply.find("HTTP/1.1 200"), std::string::npos) << reply;
    EXPECT_NE(reply.find("Strict-Transport-Security: max-age=31536000"), std::string::npos) << reply;
    EXPECT_NE(client(service.port, "").find("CN = first"), std::string::npos);

    // Renewed files and a SIGHUP: new connections get the new pair, without a restart.
    std::filesystem::copy_file(dir.file("second.pem"), dir.file("cert.pem"), std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(dir.file("second.key"), dir.file("key.pem"), std::filesystem::copy_options::overwrite_existing);
    service.child.signal(SIGHUP);
    std::string said;
    for (int i = 0; i < 50 && said.find("CN = second") == std::string::npos; ++i) {
        std::this_thread::sleep_for(100ms);
        said = client(service.port, "");
    }
    EXPECT_NE(said.find("CN = second"), std::string::npos) << said;

    // A broken renewal is reported and the pair in use kept; so is a key of another certificate.
    for (const auto& [cert, key] : {std::pair<std::string, std::string>{"not a certificate\n", readFile(dir.file("second.key"))},
                                    {readFile(dir.file("first.pem")), readFile(dir.file("second.key"))}}) {
        std::ofstream(dir.file("cert.pem"), std::ios::trunc) << cert;
        std::ofstream(dir.file("key.pem"), std::ios::trunc) << key;
        service.child.signal(SIGHUP);
        std::this_thread::sleep_for(300ms);
        said = client(service.port, "");
        EXPECT_NE(said.find("CN = second"), std::string::npos) << said;
        EXPECT_FALSE(refused(said));
    }
    service.child.signal(SIGTERM);
    EXPECT_EQ(service.child.wait(), 0);
    const std::string log = errorsOf(service.child);
    EXPECT_NE(log.find("reload certificate=renewed"), std::string::npos) << log;
    EXPECT_NE(log.find("tls-reload-failed"), std::string::npos) << log;
    EXPECT_NE(log.find("does not belong to the certificate"), std::string::npos) << log;
}

// Each renewal used to keep the pair it replaced until the stop; now a pair goes with the last
// session that uses it.
TEST_F(Tls, ARenewedPairIsLetGoOnceNoSessionUsesIt) {
    Store store(dir.file("service.db"), StoreOptions{kTestIterations});
    ServerOptions options;
    options.tlsCertificate = readFile(dir.file("first.pem"));
    options.tlsKey = readFile(dir.file("first.key"));
    Server server(store, options);
    server.start();
    EXPECT_FALSE(refused(client(server.port(), "")));
    for (int i = 0; i < 3; ++i) {
        const char* name = i % 2 ? "first" : "second";
        server.listener().replaceCertificate(readFile(dir.file(std::string(name) + ".pem")),
                                             readFile(dir.file(std::string(name) + ".key")));
        EXPECT_NE(client(server.port(), "").find(std::string("CN = ") + name), std::string::npos);
    }
    for (int i = 0; i < 100 && server.listener().openConnections() > 0; ++i) std::this_thread::sleep_for(20ms);
    EXPECT_EQ(server.listener().certificatePairsHeld(), 1u);
    server.stop();
}

}  // namespace
}  // namespace dataservice::testing
