// The running machine itself, and a print service that is missing or does not answer.
#include <cstdlib>
#include <cstring>
#include <string>
#include <atomic>
#include <thread>

#include <cups/cups.h>
#include <gmock/gmock.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "instr_test_support.h"
#include "platform/instrumentation/linux/providers.h"
#include "platform/instrumentation/linux/system_instrumentation.h"

using instrtest::TempTree;

TEST(LiveMachine, EveryClassAnswersAndThereIsOneOperatingSystem) {
    auto services = platform::makeInstrumentationAt("/")->Connect(instrtest::kMoniker);
    const std::pair<const char*, std::vector<const char*>> queries[] = {
        {"Select Name from win32_SoundDevice", {"Name"}},
        {"Select Name, DriverVersion from win32_VideoController", {"Name", "DriverVersion"}},
        {"select DriverName from win32_Printer", {"DriverName"}},
        {"select Manufacturer, Model from win32_ComputerSystem", {"Manufacturer", "Model"}},
        {"select SMBIOSBIOSVersion from win32_BIOS", {"SMBIOSBIOSVersion"}},
        {"select Name, CSDVersion from win32_OperatingSystem", {"Name", "CSDVersion"}},
        {"select Name from win32_NetworkAdapter", {"Name"}},
    };
    for (const auto& [query, properties] : queries) {
        SCOPED_TRACE(query);
        std::unique_ptr<platform::QueryResult> result;
        ASSERT_NO_THROW(result = services->ExecQuery(query));
        int count = 0;
        for (;;) {
            std::unique_ptr<platform::Instance> instance;
            ASSERT_NO_THROW(instance = result->Next());
            if (!instance) break;
            ++count;
            for (const char* p : properties) EXPECT_NO_THROW(instance->Get(p)) << p;
            if (std::string(query).find("win32_OperatingSystem") != std::string::npos) {
                const auto name = instance->Get("Name");
                ASSERT_TRUE(name);
                EXPECT_EQ(std::count(name->begin(), name->end(), '|'), 2) << *name;
            }
            ASSERT_LT(count, 10000) << "enumeration does not end";
        }
        if (std::string(query).find("win32_OperatingSystem") != std::string::npos ||
            std::string(query).find("win32_ComputerSystem") != std::string::npos ||
            std::string(query).find("win32_BIOS") != std::string::npos) {
            EXPECT_EQ(count, 1);
        }
    }
}

// Runs with CUPS_SERVER naming `server`, and restores it afterwards.
class PrintService : public testing::Test {
protected:
    void SetUp() override {
        const char* before = std::getenv("CUPS_SERVER");
        hadServer_ = before != nullptr;
        if (before) saved_ = before;
    }
    void TearDown() override {
        if (hadServer_) setenv("CUPS_SERVER", saved_.c_str(), 1);
        else unsetenv("CUPS_SERVER");
        if (fd_ >= 0) ::close(fd_);
    }
    void useServer(const std::string& server) { setenv("CUPS_SERVER", server.c_str(), 1); }

    // A local socket at `path`; listening or left dead.
    void makeSocket(const std::string& path, bool listening) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd_, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        ASSERT_LT(path.size(), sizeof addr.sun_path);
        path.copy(addr.sun_path, path.size());
        ASSERT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        if (listening) {
            ASSERT_EQ(::listen(fd_, 4), 0);
        } else {
            ::close(fd_);
            fd_ = -1;
        }
    }

    TempTree tree;
    int fd_ = -1;

private:
    bool hadServer_ = false;
    std::string saved_;
};

TEST_F(PrintService, NoSocketMeansNoPrinters) {
    useServer(tree.host("/cups.sock"));
    EXPECT_TRUE(platform::instr::livePrintDestinations().empty());
}

TEST_F(PrintService, ASocketNobodyListensOnMeansNoPrinters) {
    makeSocket(tree.host("/cups.sock"), false);
    useServer(tree.host("/cups.sock"));
    EXPECT_TRUE(platform::instr::livePrintDestinations().empty());
}

TEST_F(PrintService, AServerThatNeverAnswersIsGivenUpOn) {
    // Connections complete in the listen queue but no reply ever comes.
    makeSocket(tree.host("/cups.sock"), true);
    useServer(tree.host("/cups.sock"));
    EXPECT_TRUE(platform::instr::livePrintDestinations().empty());
}

TEST_F(PrintService, AClosedPortMeansNoPrinters) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(probe, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const int port = ntohs(addr.sin_port);
    ::close(probe);  // nothing listens there any more
    useServer("127.0.0.1:" + std::to_string(port));
    EXPECT_TRUE(platform::instr::livePrintDestinations().empty());
}

namespace {

// A print scheduler on a local socket that knows two printers. It answers each request on a
// connection until the client hangs up, serves a bounded number of connections, and stops
// when the test drops it.
class TinyScheduler {
public:
    explicit TinyScheduler(int listenFd) : fd_(listenFd), thread_([this] { serve(); }) {}
    ~TinyScheduler() {
        stop_ = true;
        thread_.join();
    }

private:
    static std::string encode(ipp_t* message) {
        std::string out;
        ippWriteIO(&out, [](void* ctx, ipp_uchar_t* data, size_t n) -> ssize_t {
            static_cast<std::string*>(ctx)->append(reinterpret_cast<char*>(data), n);
            return static_cast<ssize_t>(n);
        }, 1, nullptr, message);
        return out;
    }

    static void addPrinter(ipp_t* reply, const char* name, const char* model) {
        const std::string uri = std::string("ipp://localhost/printers/") + name;
        ippAddString(reply, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, name);
        ippAddString(reply, IPP_TAG_PRINTER, IPP_TAG_URI, "printer-uri-supported", nullptr, uri.c_str());
        ippAddString(reply, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-make-and-model", nullptr, model);
        ippAddInteger(reply, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
        ippAddInteger(reply, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-type", CUPS_PRINTER_LOCAL);
        ippAddBoolean(reply, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    }

    static std::string answer(int operation, int requestId) {
        ipp_t* reply = ippNew();
        ippSetVersion(reply, 2, 0);
        ippSetStatusCode(reply, IPP_STATUS_OK);
        ippSetRequestId(reply, requestId);
        ippAddString(reply, IPP_TAG_OPERATION, IPP_TAG_CHARSET, "attributes-charset", nullptr, "utf-8");
        ippAddString(reply, IPP_TAG_OPERATION, IPP_TAG_LANGUAGE, "attributes-natural-language", nullptr, "en");
        if (operation == IPP_OP_CUPS_GET_DEFAULT || operation == IPP_OP_CUPS_GET_PRINTERS)
            addPrinter(reply, "Office_Laser", "HP LaserJet Pro M404-M405 Postscript (recommended)");
        if (operation == IPP_OP_CUPS_GET_PRINTERS) {
            ippAddSeparator(reply);
            addPrinter(reply, "Label", "Zebra ZPL Label Printer");
        }
        const std::string body = encode(reply);
        ippDelete(reply);
        return "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body;
    }

    // Reads until `have` holds `want` bytes; false when the peer left or the test is over.
    bool readUntil(int fd, std::string& have, std::size_t want) {
        char buf[4096];
        while (have.size() < want) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                if (stop_) return false;
                continue;
            }
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) return false;
            have.append(buf, static_cast<std::size_t>(n));
        }
        return true;
    }

    void talk(int fd) {
        std::string pending;
        for (int requests = 0; requests < 20 && !stop_; ++requests) {
            std::size_t end;
            while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
                if (!readUntil(fd, pending, pending.size() + 1)) return;
            }
            const std::string head = pending.substr(0, end);
            pending.erase(0, end + 4);
            std::size_t length = 0;
            const std::size_t at = head.find("Content-Length:");
            if (at != std::string::npos) length = std::stoul(head.substr(at + 15));
            if (!readUntil(fd, pending, length) || length < 8) return;
            const int operation = (static_cast<unsigned char>(pending[2]) << 8) | static_cast<unsigned char>(pending[3]);
            int requestId = 0;
            for (int i = 4; i < 8; ++i) requestId = (requestId << 8) | static_cast<unsigned char>(pending[i]);
            pending.erase(0, length);
            const std::string reply = answer(operation, requestId);
            if (::write(fd, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) return;
        }
    }

    void serve() {
        for (int connections = 0; connections < 10 && !stop_;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) continue;
            ++connections;
            talk(client);
            ::close(client);
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(PrintService, ARunningSchedulerGivesItsDestinationsAndTheirMakeAndModel) {
    makeSocket(tree.host("/cups.sock"), true);
    useServer(tree.host("/cups.sock"));
    TinyScheduler scheduler(fd_);
    const auto printers = platform::instr::livePrintDestinations();
    ASSERT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0].name, "Label");
    EXPECT_EQ(printers[0].makeAndModel, "Zebra ZPL Label Printer");
    EXPECT_EQ(printers[1].name, "Office_Laser");
    EXPECT_EQ(printers[1].makeAndModel, "HP LaserJet Pro M404-M405 Postscript (recommended)");
}
