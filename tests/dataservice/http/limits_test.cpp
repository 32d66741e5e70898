// The HTTP layer as a stranger or a bad client meets it: slow and idle clients, pipelining,
// header floods, ranges, HEAD and other methods. Every case is bounded and ends by itself.
#include <atomic>
#include <thread>

#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

// Reads until the peer closes or `waitMs` pass without a byte.
std::string readUntilClosed(int fd, int waitMs, bool* closed = nullptr) {
    std::string reply;
    char buf[65536];
    if (closed) *closed = false;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0) return reply;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            if (closed) *closed = true;
            return reply;
        }
        reply.append(buf, static_cast<std::size_t>(n));
    }
}

class HttpLimits : public ServiceFixture {
protected:
    ServerOptions serverOptions() override {
        ServerOptions options = ServiceFixture::serverOptions();
        options.requestSeconds = 2;  // short, so the deadline case ends soon
        return options;
    }
};

TEST_F(HttpLimits, SlowAndIdleClientsDoNotStarveANormalRequest) {
    constexpr int kSlow = 64;
    std::vector<int> slow;
    for (int i = 0; i < kSlow; ++i) {
        const int fd = connectTo(server->port());
        ASSERT_GE(fd, 0);
        // Half a request each, or nothing at all: the old server gave each one a thread.
        if (i % 2) sendAll(fd, "GET /getversion.asp?Major=1&Minor=1&Rev=11 HTTP/1.1\r\nHost: x\r\nX-Slow: ");
        slow.push_back(fd);
    }
    const std::string reply =
        rawExchange(server->port(), "GET /getversion.asp?Major=1&Minor=1&Rev=11 HTTP/1.1\r\nHost: x\r\n\r\n", 5000);
    EXPECT_EQ(rawStatus(reply), 200);
    EXPECT_NE(reply.find("rs:data"), std::string::npos);
    for (const int fd : slow) close(fd);
}

TEST_F(HttpLimits, AClientThatDribblesItsHeadIsCutAtTheRequestDeadline) {
    const int fd = connectTo(server->port());
    ASSERT_GE(fd, 0);
    sendAll(fd, "GET /getversion.asp?Major=1&Minor=1&Rev=11 HTTP/1.1\r\nHost: x\r\n");
    // One byte every 100 ms never lets a read time-out fire; the deadline (2 s) still does.
    bool closed = false;
    for (int i = 0; i < 80 && !closed; ++i) {  // at most 8 s
        sendAll(fd, "X");
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char c;
            closed = recv(fd, &c, 1, 0) <= 0;
        }
    }
    close(fd);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(store->journal().all().empty());
}

TEST_F(HttpLimits, PipelinedRequestsAreAllAnsweredInOrder) {
    const int fd = connectTo(server->port());
    ASSERT_GE(fd, 0);
    sendAll(fd,
            "GET /gettemp.asp?TempID=EvalPIPE1 HTTP/1.1\r\nHost: x\r\n\r\n"
            "GET /getversion.asp?Major=1&Minor=1&Rev=11 HTTP/1.1\r\nHost: x\r\n\r\n"
            "GET /nosuch.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const std::string replies = readUntilClosed(fd, 5000);
    close(fd);
    const auto first = replies.find("HTTP/1.1 200");
    const auto second = replies.find("HTTP/1.1 200", first + 1);
    const auto third = replies.find("HTTP/1.1 404");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    ASSERT_NE(third, std::string::npos);
    EXPECT_LT(second, third);
    EXPECT_NE(replies.find("name='TempID'"), std::string::npos);
    EXPECT_GT(replies.find("name='Major'"), replies.find("name='TempID'"));  // in the order sent
    EXPECT_TRUE(store->profiles().evaluation("EvalPIPE1"));
    const auto journal = store->journal().all();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].page, "gettemp.asp");
    EXPECT_EQ(journal[1].page, "getversion.asp");
}

TEST_F(HttpLimits, HeaderCountAndSizeAreBounded) {
    const std::string request = "GET /gettemp.asp?TempID=EvalHDR01 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    std::string many = request;
    for (int i = 0; i < 100; ++i) many += "X-" + std::to_string(i) + ": y\r\n";
    EXPECT_EQ(rawStatus(rawExchange(server->port(), many + "\r\n")), 431);

    const std::string big = request + "X-Big: " + std::string(64 * 1024, 'b') + "\r\n\r\n";
    const int status = rawStatus(rawExchange(server->port(), big));
    EXPECT_TRUE(status == 431 || status == 413) << status;

    // A flood of a hundred thousand header lines is cut off long before it is all read.
    const int fd = connectTo(server->port());
    ASSERT_GE(fd, 0);
    std::string flood = request;
    for (int i = 0; i < 100000; ++i) flood += "A: b\r\n";
    sendAll(fd, flood);  // the server stops reading and closes; the rest of the send fails
    const std::string reply = readUntilClosed(fd, 5000);
    close(fd);
    EXPECT_TRUE(reply.empty() || rawStatus(reply) >= 400) << reply.substr(0, 40);

    EXPECT_FALSE(store->profiles().evaluation("EvalHDR01"));
    EXPECT_TRUE(store->journal().all().empty());
    EXPECT_EQ(records("/getversion.asp?Major=1&Minor=1&Rev=11").RecordCount(), 1);
}

TEST_F(HttpLimits, RangesAreNotApplied) {
    std::string ranges = "bytes=0-0";
    for (int i = 1; i < 1500; ++i) ranges += "," + std::to_string(i) + "-" + std::to_string(i);
    const std::string whole = get("/getversion.asp?Major=1&Minor=1&Rev=11").second;
    const std::string reply = rawExchange(
        server->port(), "GET /getversion.asp?Major=1&Minor=1&Rev=11 HTTP/1.1\r\nHost: x\r\nConnection: close\r\nRange: " +
                            ranges + "\r\n\r\n");
    EXPECT_EQ(rawStatus(reply), 200);
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), whole);
    EXPECT_EQ(reply.find("multipart/byteranges"), std::string::npos);
}

TEST_F(HttpLimits, HeadRunsNoPageAndOtherMethodsAreNotAllowed) {
    ASSERT_TRUE(store->profiles().addAccount("olga", "pw"));
    ASSERT_TRUE(store->profiles().registerEvaluation("EvalHEAD1"));
    const std::string head = rawExchange(
        server->port(), "HEAD /sftdata.asp?UID=olga&qIS=headed&PWD=pw HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(rawStatus(head), 200);
    EXPECT_NE(head.find("text/xml"), std::string::npos);
    EXPECT_EQ(head.find("<xml"), std::string::npos);
    rawExchange(server->port(), "HEAD /evalupdatedata.asp?UID=EvalHEAD1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");

    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS", "BREW"}) {
        const std::string reply =
            rawExchange(server->port(), std::string(method) +
                                            " /sftdata.asp?UID=olga&qIS=other&PWD=pw HTTP/1.1\r\nHost: x\r\n"
                                            "Connection: close\r\nContent-Length: 3\r\n\r\nabc");
        EXPECT_EQ(rawStatus(reply), 405) << method;
        EXPECT_NE(reply.find("Allow: GET, HEAD"), std::string::npos) << method;
    }
    EXPECT_TRUE(store->inventory().items(store->profiles().subscriber("olga")->id).empty());
    EXPECT_TRUE(store->journal().all().empty());
    // The HEAD of the reset page did not reset either: the upload after it is still there.
    get("/evalsftdata.asp?UID=EvalHEAD1&qIS=kept");
    rawExchange(server->port(), "HEAD /evalupdatedata.asp?UID=EvalHEAD1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(store->inventory().items(store->profiles().evaluation("EvalHEAD1")->id).size(), 1u);
}

// The server keeps the library's response to a constant reply for the next request given the
// same reply: one that differs in anything, or that sets a cookie, never goes out in its place.
TEST_F(HttpLimits, AKeptReplyIsNeverSentForAnother) {
    const auto header = [](const std::string& reply, const std::string& name) {
        const std::size_t at = reply.find("\r\n" + name + ": ");
        if (at == std::string::npos) return std::string();
        const std::size_t from = at + name.size() + 4;
        return reply.substr(from, reply.find("\r\n", from) - from);
    };
    const auto put = [&](const std::string& path) {
        return rawExchange(server->port(),
                           "PUT " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    };
    for (std::int64_t rev = 1; rev <= 10; ++rev) store->versions().allow(Version{1, 1, rev});
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(header(put("/sftdata.asp"), "Allow"), "GET, HEAD");
        EXPECT_EQ(header(put("/profile/hwsw.asp"), "Allow"), "GET, HEAD, POST");
        // More different replies than are kept, in turn.
        for (int rev = 1; rev <= 10; ++rev) {
            const auto [status, body] = get("/getversion.asp?Major=1&Minor=1&Rev=" + std::to_string(rev));
            EXPECT_EQ(status, 200);
            EXPECT_NE(body.find("Rev='" + std::to_string(rev) + "'"), std::string::npos) << body;
        }
    }
    const auto signInPage = [&] {
        return header(rawExchange(server->port(), "GET /profile/hwsw.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"),
                      "Set-Cookie");
    };
    const std::string first = signInPage();
    EXPECT_FALSE(first.empty());
    EXPECT_NE(signInPage(), first);
}

TEST_F(HttpLimits, AFormBodyIsBounded) {
    const std::string reply = rawExchange(
        server->port(), "POST /profile/hwsw.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: "
                        "application/x-www-form-urlencoded\r\nContent-Length: 100000\r\n\r\n" +
                            std::string(1000, 'a'));
    EXPECT_EQ(rawStatus(reply), 413);
    // Sent in chunks, so no length is announced: the body is counted as it comes, and the
    // connection ends without waiting for an end that never comes.
    const std::string chunked = "POST /profile/hwsw.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                "Transfer-Encoding: chunked\r\n\r\n1388\r\n" + std::string(5000, 'b') + "\r\n";
    const int status = rawStatus(rawExchange(server->port(), chunked, 5000));
    EXPECT_TRUE(status == 0 || status == 413) << status;
    EXPECT_EQ(get("/profile/hwsw.asp").first, 200);
}

// A client that gives up while its password is being checked has counted the request as failed
// and gone on; a profile reset run after that would delete what it uploaded since.
class GoneClients : public ServiceFixture {
protected:
    StoreOptions storeOptions() override { return StoreOptions{300000}; }  // a check that takes a while

    void SendReset(bool thenClose) {
        const int fd = connectTo(server->port());
        ASSERT_GE(fd, 0);
        sendAll(fd, "GET /updatedata.asp?UID=slowpoke&PWD=pw&crDate=&luDate= HTTP/1.1\r\nHost: x\r\n\r\n");
        if (thenClose) {
            close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the check ends meanwhile
            return;
        }
        EXPECT_EQ(rawStatus(readUntilClosed(fd, 5000)), 200);
        close(fd);
    }
};

TEST_F(GoneClients, ARequestWhoseClientHasGoneIsNotRun) {
    ASSERT_TRUE(store->profiles().addAccount("slowpoke", "pw"));
    SendReset(true);
    EXPECT_FALSE(store->profiles().subscriber("slowpoke")->runStarted);
    for (const JournalEntry& e : store->journal().all()) EXPECT_NE(e.page, "updatedata.asp");

    SendReset(false);  // the same request, waited for, is run
    EXPECT_TRUE(store->profiles().subscriber("slowpoke")->runStarted);
}

// One event loop, and a password check that takes a while: the loop serves other clients
// meanwhile, and stopping the server still answers the request it had handed over.
class ParkedRequests : public ServiceFixture {
protected:
    StoreOptions storeOptions() override { return StoreOptions{2000000}; }
    ServerOptions serverOptions() override {
        ServerOptions options = ServiceFixture::serverOptions();
        options.threads = 1;
        return options;
    }
    // Sends a first request of the account, which costs a key derivation.
    int startCheck() {
        const int fd = connectTo(server->port());
        sendAll(fd, "GET /getdata.asp?UID=slowpoke&PWD=pw HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        return fd;
    }
};

TEST_F(ParkedRequests, TheLoopServesOthersWhileAPasswordIsChecked) {
    ASSERT_TRUE(store->profiles().addAccount("slowpoke", "pw"));
    const int fd = startCheck();
    ASSERT_GE(fd, 0);
    const std::string other =
        rawExchange(server->port(), "GET /getversion.asp?Major=1&Minor=1&Rev=11 HTTP/1.1\r\nHost: x\r\n\r\n", 10000);
    EXPECT_EQ(rawStatus(other), 200);
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0) << "the check was over before another client got an answer";
    const std::string checked = readUntilClosed(fd, 10000);
    EXPECT_EQ(rawStatus(checked), 200);
    EXPECT_NE(checked.find("slowpoke"), std::string::npos);
    close(fd);
}

TEST_F(ParkedRequests, TheLoopServesOthersWhileAProfilePageSignInIsChecked) {
    ASSERT_TRUE(store->profiles().addAccount("slowpoke", "pw"));
    std::atomic<bool> signedIn{false};
    std::thread browser([&] {
        signedIn = !signIn("slowpoke", "pw").empty();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the form is fetched and posted
    const std::string other =
        rawExchange(server->port(), "GET /getversion.asp?Major=1&Minor=1&Rev=11 HTTP/1.1\r\nHost: x\r\n\r\n", 10000);
    EXPECT_EQ(rawStatus(other), 200);
    EXPECT_FALSE(signedIn) << "the sign-in was over before another client got an answer";
    browser.join();
    EXPECT_TRUE(signedIn);
}

TEST_F(ParkedRequests, StoppingAnswersWhatWasHandedOver) {
    ASSERT_TRUE(store->profiles().addAccount("slowpoke", "pw"));
    const int fd = startCheck();
    ASSERT_GE(fd, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the check is under way
    server->stop();
    const std::string checked = readUntilClosed(fd, 10000);
    EXPECT_EQ(rawStatus(checked), 200);
    EXPECT_NE(checked.find("slowpoke"), std::string::npos);
    close(fd);
    EXPECT_LT(connectTo(server->port()), 0);
}

}  // namespace
}  // namespace dataservice::testing
