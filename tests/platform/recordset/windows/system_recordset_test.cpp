// The record-set source over WinHTTP against a small server of the test's own on 127.0.0.1.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "platform/recordset/recordset.h"

namespace {

using ::testing::HasSubstr;

const std::string kRecordSet =
    "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
    " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
    "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
    "<s:AttributeType name='ID' rs:number='1'><s:datatype dt:type='int'/></s:AttributeType>"
    "<s:AttributeType name='Name' rs:number='2'><s:datatype dt:type='string'/></s:AttributeType>"
    "<s:extends type='rs:rowbase'/></s:ElementType></s:Schema>"
    "<rs:data><z:row ID='7' Name='Caf&#233;'/></rs:data></xml>";

// One thread accepting on 127.0.0.1 at a port of the system's choosing; each connection's
// request decides the answer by its path. Everything it waits for is bounded.
class Server {
public:
    Server() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 16);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Server() {
        stop_ = true;
        thread_.join();
        for (SOCKET s : held_) closesocket(s);
        closesocket(listener_);
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    std::atomic<int> requests{0};

private:
    void Serve() {
        while (!stop_) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(listener_, &ready);
            timeval wait{0, 50'000};
            if (select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            Answer(client);
        }
    }
    void Answer(SOCKET client) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            const int n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        ++requests;
        const std::string path = request.substr(4, request.find(' ', 4) - 4);
        std::string reply;
        if (path.rfind("/ok", 0) == 0)
            reply = Reply("200 OK", kRecordSet);
        else if (path.rfind("/silent", 0) == 0) {
            held_.push_back(client);  // read, never answered, closed at the end
            return;
        } else if (path.rfind("/big", 0) == 0)
            reply = Reply("200 OK", std::string(5 * 1024 * 1024, 'x'));
        else if (path.rfind("/busy", 0) == 0)
            reply = Reply("503 Service Unavailable", "busy", "Retry-After: 12\r\n");
        else if (path.rfind("/limited", 0) == 0)
            reply = Reply("429 Too Many Requests", "limited", "Retry-After: soon\r\n");
        else if (path.rfind("/html", 0) == 0)
            reply = Reply("200 OK", "<html><body>Service Unavailable</body></html>");
        else
            reply = Reply("404 Not Found", "missing");
        for (std::size_t sent = 0; sent < reply.size();) {
            const int n = send(client, reply.data() + sent, static_cast<int>(std::min<std::size_t>(reply.size() - sent, 65536)), 0);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        shutdown(client, SD_SEND);
        closesocket(client);
    }
    static std::string Reply(const std::string& status, const std::string& body, const std::string& headers = "") {
        return "HTTP/1.1 " + status + "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n" + headers + "Connection: close\r\n\r\n" + body;
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<SOCKET> held_;
};

struct Fetch {
    const char* name;
    const char* page;  // below the server's base; the query carries a password that no message names
    const char* error;  // a part of the failure's message; empty: it succeeds
    long requestMs = 10'000;  // short only where the wait is the point: a busy machine is slow to carry 5 MB
};

std::ostream& operator<<(std::ostream& os, const Fetch& f) { return os << f.name; }

const Fetch kFetches[] = {
    {"RecordSet", "ok.asp?UID=alice&PWD=secret%20pw", ""},
    {"NotFound", "missing.asp?PWD=secret%20pw", "status 404"},
    {"NotARecordSet", "html.asp?PWD=secret%20pw", "html.asp failed"},
    {"TooLarge", "big.asp?PWD=secret%20pw", "larger than 4194304 bytes"},
    {"Silent", "silent.asp?PWD=secret%20pw", "timed out", 500},
};

class RecordSource : public ::testing::TestWithParam<Fetch> {
protected:
    Server server;
    std::unique_ptr<platform::RecordSource> source =
        platform::makeHttpRecordSource(platform::HttpWaits{1'000, GetParam().requestMs, 300, 50, 2'000, 30'000});
};

TEST_P(RecordSource, ReadsARecordSetOrFailsSayingWhyWithoutTheQuery) {
    const Fetch& f = GetParam();
    const std::string address = server.Base() + f.page;
    if (std::string(f.error).empty()) {
        const platform::RecordSet set = source->Open(address);
        ASSERT_EQ(set.RecordCount(), 1);
        EXPECT_EQ(std::get<std::string>(set.Field(1)), "Caf\xC3\xA9");
        return;
    }
    try {
        source->Open(address);
        FAIL() << "no failure";
    } catch (const platform::PlatformError& e) {
        EXPECT_THAT(e.what(), HasSubstr(f.error));
        EXPECT_EQ(std::string(e.what()).find("secret"), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, RecordSource, ::testing::ValuesIn(kFetches),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecordSourceSeries, AfterASilentServiceTheNextRequestStillReachesOneThatAnswers) {
    Server server;
    auto source = platform::makeHttpRecordSource(platform::HttpWaits{1'000, 500, 300, 50, 2'000, 30'000});
    EXPECT_THROW(source->Open(server.Base() + "silent.asp"), platform::PlatformError);
    // Within the series gap the wait is short, but a service that answers at once is still heard.
    EXPECT_EQ(source->Open(server.Base() + "ok.asp").RecordCount(), 1);
    EXPECT_EQ(source->Open(server.Base() + "ok.asp").RecordCount(), 1);
}

TEST(RecordSourceSeries, ABusyServiceSaysWhenToComeBackAndAnUnreadableWaitIsAFailure) {
    Server server;
    auto source = platform::makeHttpRecordSource();
    try {
        source->Open(server.Base() + "busy.asp?PWD=secret");
        FAIL() << "no failure";
    } catch (const platform::ServiceBusy& busy) {
        EXPECT_EQ(busy.Status(), 503);
        EXPECT_EQ(busy.RetryAfter().count(), 12);
    }
    try {
        source->Open(server.Base() + "limited.asp");
        FAIL() << "no failure";
    } catch (const platform::ServiceBusy& busy) {
        FAIL() << busy.what();
    } catch (const platform::PlatformError& e) {
        EXPECT_THAT(e.what(), HasSubstr("status 429"));
    }
}

// The user's automatic proxy configuration script, as the Internet settings keep it (the
// connection settings' binary form: version, counter, flags, then the proxy, the bypass list and
// the script's address, each a length and its characters), for as long as this lives.
class ProxyScriptSetting {
public:
    explicit ProxyScriptSetting(const std::string& address) {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        std::string blob;
        for (DWORD field : {DWORD{0x46}, DWORD{0}, DWORD{0x1 | 0x4}, DWORD{0}, DWORD{0}, DWORD(address.size())})
            blob.append(reinterpret_cast<const char*>(&field), sizeof field);
        blob += address + std::string(32, '\0');
        RegSetValueExW(key_, L"DefaultConnectionSettings", 0, REG_BINARY,
                       reinterpret_cast<const BYTE*>(blob.data()), static_cast<DWORD>(blob.size()));
    }
    ~ProxyScriptSetting() {
        RegDeleteValueW(key_, L"DefaultConnectionSettings");
        RegCloseKey(key_);
    }

private:
    static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
    HKEY key_ = nullptr;
};

TEST(RecordSourceSeries, AProxyScriptThatNeverComesCostsTheRequestItsWaitAndNoMore) {
    Server server;
    ProxyScriptSetting setting(server.Base() + "silent.pac");
    auto source = platform::makeHttpRecordSource(platform::HttpWaits{1'000, 500, 300, 50, 2'000, 30'000});
    // Unbounded, the lookup would end only when the system gives up on the script, and the
    // request would then go direct and be answered.
    try {
        source->Open(server.Base() + "ok.asp?PWD=secret");
        FAIL() << "answered: the wait for the script was not bounded by the request's";
    } catch (const platform::PlatformError& e) {
        EXPECT_THAT(e.what(), HasSubstr("timed out"));
    }
}

TEST(RecordSourceSeries, NoSchemeAndAClosedPortAreFailures) {
    auto source = platform::makeHttpRecordSource();
    EXPECT_THROW(source->Open("getversion.asp?Major=1"), platform::PlatformError);
    int port = 0;
    {
        Server gone;  // a port that was just free and is closed again
        port = std::stoi(gone.Base().substr(17));
    }
    EXPECT_THROW(source->Open("http://127.0.0.1:" + std::to_string(port) + "/ok.asp"), platform::PlatformError);
}

}  // namespace
