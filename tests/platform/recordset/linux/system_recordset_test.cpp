// The HTTP record source against a small server on the loopback interface.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include "platform/common/errors.h"
#include "platform/recordset/recordset.h"

namespace {

using platform::FieldValue;
using platform::PlatformError;
using testing::HasSubstr;
using testing::Not;

const std::string kRecordSet =
    "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'"
    " xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
    " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
    "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
    "<s:AttributeType name='Major' rs:number='1'><s:datatype dt:type='int'/></s:AttributeType>"
    "</s:ElementType></s:Schema><rs:data><z:row Major='1'/><z:row Major='2'/></rs:data></xml>";

constexpr std::size_t kLimit = 4 * 1024 * 1024;

class HttpRecordSource : public testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "127.0.0.1,localhost", 1);  // never leave the machine, whatever the environment
        server_.set_tcp_nodelay(true);
        server_.set_keep_alive_max_count(100);
        server_.Get("/getversion.asp", [this](const httplib::Request& req, httplib::Response& res) {
            remember(req);
            res.set_content(kRecordSet, "text/xml");
        });
        server_.Get("/error.asp", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content(kRecordSet, "text/xml");  // a record set does not make an error a success
        });
        // The status and Retry-After come from the query, as a loaded or limiting service sends them.
        server_.Get("/busy.asp", [](const httplib::Request& req, httplib::Response& res) {
            res.status = std::stoi(req.get_param_value("status"));
            if (req.has_param("wait")) res.set_header("Retry-After", req.get_param_value("wait"));
            res.set_content("<html>busy</html>", "text/html");
        });
        server_.Get("/html.asp", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body><h1>Welcome</h1></body></html>", "text/html");
        });
        server_.Get("/exact.asp", [](const httplib::Request&, httplib::Response& res) {
            std::string body = kRecordSet;
            body.insert(body.size() - 6, kLimit - body.size(), ' ');  // padding inside the root
            res.set_content(body, "text/xml");
        });
        server_.Get("/big.asp", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(kLimit + 1, ' '), "text/xml");
        });
        server_.Get("/bigchunked.asp", [](const httplib::Request&, httplib::Response& res) {
            // No announced length: the limit must hold while the bytes arrive.
            res.set_chunked_content_provider("text/xml", [](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= 2 * kLimit) {
                    sink.done();
                    return true;
                }
                const std::string chunk(64 * 1024, ' ');
                return sink.write(chunk.data(), chunk.size());
            });
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() is a no-op until the loop runs, so wait for it (bounded: five seconds).
        for (int i = 0; i < 5000 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(server_.is_running());
        source_ = platform::makeHttpRecordSource();
    }

    void TearDown() override {
        source_.reset();  // closes the kept-alive connection before the server goes
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }

    std::string address(const std::string& page) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + page;
    }

    std::string errorOf(const std::string& page) {
        try {
            source_->Open(address(page));
            return "no error";
        } catch (const PlatformError& e) {
            return e.what();
        }
    }

    void remember(const httplib::Request& req) {
        std::lock_guard lock(mutex_);
        clientPorts_.push_back(req.remote_port);
        queries_.push_back(req.get_param_value("Major"));
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::unique_ptr<platform::RecordSource> source_;
    std::mutex mutex_;
    std::vector<int> clientPorts_;
    std::vector<std::string> queries_;
};

TEST_F(HttpRecordSource, ReadsAGoodReplyAndSendsTheQuery) {
    const platform::RecordSet set = source_->Open(address("getversion.asp?Major=1&Minor=1&Rev=11"));
    EXPECT_EQ(set.RecordCount(), 2);
    EXPECT_EQ(set.Field(0), FieldValue(std::int64_t{1}));
    std::lock_guard lock(mutex_);
    EXPECT_EQ(queries_, std::vector<std::string>{"1"});
}

TEST_F(HttpRecordSource, ReusesOneConnectionForSuccessiveRequests) {
    for (int i = 0; i < 3; ++i) source_->Open(address("getversion.asp?Major=" + std::to_string(i)));
    // A second source has a connection of its own: the client port tells connections apart.
    platform::makeHttpRecordSource()->Open(address("getversion.asp"));
    std::lock_guard lock(mutex_);
    ASSERT_EQ(clientPorts_.size(), 4u);
    EXPECT_GT(clientPorts_[0], 0);
    EXPECT_EQ(clientPorts_[1], clientPorts_[0]);
    EXPECT_EQ(clientPorts_[2], clientPorts_[0]);
    EXPECT_NE(clientPorts_[3], clientPorts_[0]);
}

TEST_F(HttpRecordSource, FailsOnErrorStatusesAndPagesThatAreNoRecordSet) {
    EXPECT_THAT(errorOf("error.asp"), HasSubstr("status 500"));
    EXPECT_THAT(errorOf("missing.asp"), HasSubstr("status 404"));
    EXPECT_THAT(errorOf("html.asp"), HasSubstr("not a persisted record set"));
    // The same handle still serves a good request after failures.
    EXPECT_EQ(source_->Open(address("getversion.asp")).RecordCount(), 2);
}

TEST_F(HttpRecordSource, TellsABusyServiceFromOtherFailures) {
    struct Case {
        std::string query;
        long busySeconds;  // -1: an ordinary failure
    };
    const Case cases[] = {
        {"status=503&wait=7", 7},
        {"status=429&wait=0", 0},
        {"status=503&wait=Sun,%2006%20Nov%201994%2008:49:37%20GMT", 0},  // long past: at once
        {"status=503", -1},
        {"status=429&wait=later", -1},
        {"status=500&wait=7", -1},
    };
    for (const Case& c : cases) {
        try {
            source_->Open(address("busy.asp?PWD=s3cret&" + c.query));
            ADD_FAILURE() << c.query << ": no failure";
        } catch (const platform::ServiceBusy& busy) {
            EXPECT_EQ(busy.RetryAfter().count(), c.busySeconds) << c.query;
            EXPECT_THAT(busy.what(), Not(HasSubstr("s3cret")));
        } catch (const PlatformError& e) {
            EXPECT_EQ(c.busySeconds, -1) << c.query << ": " << e.what();
            EXPECT_THAT(e.what(), HasSubstr("status"));
        }
    }
    // A busy answer is an answer: the next request gets its full wait and is served.
    EXPECT_EQ(source_->Open(address("getversion.asp")).RecordCount(), 2);
}

TEST_F(HttpRecordSource, LimitsTheSizeOfAReply) {
    EXPECT_EQ(source_->Open(address("exact.asp")).RecordCount(), 2);
    EXPECT_THAT(errorOf("big.asp"), HasSubstr("larger than 4194304 bytes"));
    EXPECT_THAT(errorOf("bigchunked.asp"), HasSubstr("larger than 4194304 bytes"));
    EXPECT_EQ(source_->Open(address("getversion.asp")).RecordCount(), 2);
}

TEST_F(HttpRecordSource, KeepsTheQueryOutOfItsMessages) {
    const std::string message = errorOf("missing.asp?UID=anna&PWD=s3cret");
    EXPECT_THAT(message, HasSubstr("/missing.asp"));
    EXPECT_THAT(message, Not(HasSubstr("s3cret")));
}

TEST_F(HttpRecordSource, FailsWhenNothingListens) {
    // A port that was free a moment ago and is closed again.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    close(fd);
    const std::string closed = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/getversion.asp";
    EXPECT_THROW(source_->Open(closed), PlatformError);
}

TEST_F(HttpRecordSource, RefusesAddressesThatAreNotHttp) {
    // As an empty ServerPath leaves them: a page name alone.
    EXPECT_THROW(source_->Open("getversion.asp?Major=1&Minor=1&Rev=11"), PlatformError);
    EXPECT_THROW(source_->Open("file:///etc/passwd"), PlatformError);
    EXPECT_THROW(source_->Open(""), PlatformError);
}

}  // namespace
