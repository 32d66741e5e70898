// One page, however its address is written: percent-encoded letters or slashes, another case,
// a folder before it. A GET, a HEAD and the methods the address takes all find the same page.
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

struct Address {
    const char* target;
    int status;         // of a GET and of a HEAD
    const char* type;   // the start of their Content-Type
    const char* allow;  // what a PUT is told the address takes
};

std::ostream& operator<<(std::ostream& os, const Address& a) { return os << a.target; }

std::string headerOf(const std::string& reply, const std::string& name) {
    const std::size_t at = reply.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    const std::size_t from = at + name.size() + 4;
    return reply.substr(from, reply.find("\r\n", from) - from);
}

class Addresses : public ServiceFixture, public ::testing::WithParamInterface<Address> {
protected:
    std::string exchange(const std::string& method) {
        return rawExchange(server->port(), method + " " + GetParam().target +
                                               " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    }
};

TEST_P(Addresses, NameTheSamePageForEveryMethod) {
    const Address& a = GetParam();
    for (const char* method : {"GET", "HEAD"}) {
        const std::string reply = exchange(method);
        EXPECT_EQ(rawStatus(reply), a.status) << method;
        EXPECT_EQ(headerOf(reply, "Content-Type").rfind(a.type, 0), 0u) << method << ": " << reply;
    }
    const std::string refused = exchange("PUT");
    EXPECT_EQ(rawStatus(refused), 405);
    EXPECT_EQ(headerOf(refused, "Allow"), a.allow);
}

INSTANTIATE_TEST_SUITE_P(
    Service, Addresses,
    ::testing::Values(Address{"/vantrel/getd%61ta.asp?UID=nobody&PWD=x", 200, "text/xml", "GET, HEAD"},
                      Address{"/vantrel/GETDATA.ASP?UID=nobody&PWD=x", 200, "text/xml", "GET, HEAD"},
                      Address{"/Profile/hwsw%2Easp", 200, "text/html", "GET, HEAD, POST"},
                      Address{"/vantrel%2FPROFILE%2Fhwsw.asp", 200, "text/html", "GET, HEAD, POST"},
                      Address{"/profile/Profile.CSS", 200, "text/css", "GET, HEAD"},
                      Address{"/profile/more/hwsw.asp", 404, "text/plain", "GET, HEAD"},
                      Address{"/profilex/hwsw.asp", 404, "text/plain", "GET, HEAD"}));

}  // namespace
}  // namespace dataservice::testing
