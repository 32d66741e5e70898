// The network as users have it: the collector's requests through the proxy the environment
// names (a real tinyproxy), and HTTPS to the reference service verified against a test CA.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/common/errors.h"
#include "platform/recordset/recordset.h"
#include "client/service.h"
#include "tests/support/dataservice_process.h"
#include "tests/support/scratch_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// An environment variable set for one test, put back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Debian's tinyproxy in the foreground on a free loopback port, logging every request.
class Tinyproxy {
public:
    explicit Tinyproxy(const ScratchDir& dir) : log_(dir.path() / "tinyproxy.log") {
        port_ = FreePort();
        const fs::path conf = dir.write("tinyproxy.conf",
                                        "Port " + std::to_string(port_) +
                                            "\nListen 127.0.0.1\nAllow 127.0.0.1\nLogLevel Info\nLogFile \"" +
                                            log_.string() + "\"\nMaxClients 20\nTimeout 30\n");
        std::vector<std::string> args{"tinyproxy", "-d", "-c", conf.string()};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (::posix_spawnp(&pid_, "tinyproxy", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (pid_ != -1 && !Accepts(port_) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~Tinyproxy() {
        if (pid_ == -1) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    bool Running() const { return pid_ != -1 && Accepts(port_); }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string Log() const { return ReadFile(log_); }

private:
    fs::path log_;
    int port_ = 0;
    pid_t pid_ = -1;
};

bool HaveProgram(const char* name) { return Shell(std::string("command -v ") + name + " > /dev/null 2>&1"); }

class CollectorNetwork : public testing::Test {
protected:
    void SetUp() override {
        if (!process::dataServiceAvailable()) GTEST_SKIP() << "the data service is not built";
    }

    // The collector's own client over the real HTTP source.
    platform::RecordSet AskVersion(platform::HttpTrust trust = {}) {
        auto source = platform::makeHttpRecordSource({}, std::move(trust));
        const std::string base = service.address();
        return service::ServiceClient(*source, base).ServiceRequest(service::VersionRequest(1, 1, 11));
    }

    ScratchDir dir;
    process::DataService service{dir.file("service.db")};
};

TEST_F(CollectorNetwork, RequestsGoThroughTheProxyTheEnvironmentNames) {
    if (!HaveProgram("tinyproxy")) GTEST_SKIP() << "tinyproxy is not installed";
    Tinyproxy proxy(dir);
    ASSERT_TRUE(proxy.Running());
    ASSERT_NO_THROW(service.start());
    {
        ScopedEnv http("http_proxy", proxy.Address());
        ScopedEnv none("no_proxy", std::nullopt);
        EXPECT_GE(AskVersion().RecordCount(), 1);
    }
    EXPECT_NE(proxy.Log().find("GET " + service.address() + "getversion.asp?Major=1&Minor=1&Rev=11"), std::string::npos)
        << proxy.Log();

    // Without a proxy named, the request goes direct and the proxy sees nothing more.
    const std::string before = proxy.Log();
    {
        ScopedEnv http("http_proxy", std::nullopt);
        ScopedEnv upper("HTTP_PROXY", std::nullopt);
        EXPECT_GE(AskVersion().RecordCount(), 1);
    }
    EXPECT_EQ(proxy.Log().find("getversion.asp", before.size()), std::string::npos);
}

TEST_F(CollectorNetwork, AProxyThatIsNamedButDownFailsTheRequestInsteadOfGoingDirect) {
    ASSERT_NO_THROW(service.start());
    ScopedEnv http("http_proxy", "http://127.0.0.1:" + std::to_string(FreePort()));
    ScopedEnv none("no_proxy", std::nullopt);
    EXPECT_THROW(AskVersion(), platform::PlatformError);
    EXPECT_TRUE(service.journalPages().empty());
}

class CollectorHttps : public CollectorNetwork {
protected:
    void SetUp() override {
        CollectorNetwork::SetUp();
        if (IsSkipped()) return;
        if (!HaveProgram("openssl")) GTEST_SKIP() << "openssl is not installed";
        const std::string d = dir.path().string();
        dir.write("server.ext", "subjectAltName=IP:127.0.0.1\n");
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        ASSERT_TRUE(Shell("cd '" + d + "' && openssl req -x509" + ec +
                        " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Vantrel Test CA' 2>/dev/null"));
        ASSERT_TRUE(Shell("cd '" + d + "' && openssl req" + ec +
                        " -keyout server.key -out server.csr -subj '/CN=127.0.0.1' 2>/dev/null"));
        ASSERT_TRUE(Shell("cd '" + d + "' && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key"
                        " -CAcreateserial -out server.pem -days 2 -extfile server.ext 2>/dev/null"));
        ASSERT_NO_THROW(service.start({"--tls-cert", d + "/server.pem", "--tls-key", d + "/server.key"}));
        ASSERT_EQ(service.address().rfind("https://", 0), 0u) << service.address();
    }
};

TEST_F(CollectorHttps, AServiceWithACertificateFromATrustedCaAnswers) {
    EXPECT_GE(AskVersion({(dir.path() / "ca.pem").string()}).RecordCount(), 1);
    EXPECT_EQ(service.journalPages(), std::vector<std::string>{"getversion.asp"});
}

TEST_F(CollectorHttps, AnUntrustedCertificateFailsTheRequestAndNothingIsSent) {
    EXPECT_THROW(AskVersion(), platform::PlatformError);  // the system's store knows no test CA
    // Nor over plain HTTP to the same port.
    const std::string plain = "http://" + service.address().substr(std::string("https://").size());
    auto source = platform::makeHttpRecordSource();
    EXPECT_THROW(source->Open(plain + "getversion.asp?Major=1&Minor=1&Rev=11"), platform::PlatformError);
    EXPECT_TRUE(service.journalPages().empty());
}

}  // namespace
