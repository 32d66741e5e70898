// Requests go to the record source under the current ServerPath; the browser hand-off is quiet.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "client/service.h"

namespace {

class RecordingSource : public platform::RecordSource {
public:
    platform::RecordSet Open(const std::string& address) override {
        addresses.push_back(address);
        return platform::RecordSet({"a"}, {{std::string("x")}});
    }
    std::vector<std::string> addresses;
};

class RecordingShell : public platform::Shell {
public:
    void Execute(const std::string& address, const std::string& verb, QWidget* owner) override {
        calls.push_back(address + "|" + verb + "|" + (owner ? "owner" : "none"));
        if (failing) throw platform::PlatformError("no browser");
    }
    bool failing = false;
    std::vector<std::string> calls;
};

TEST(ServiceClient, SendsTheBuiltAddressUnderTheCurrentServerPath) {
    RecordingSource source;
    std::string serverPath = "http://first.test/";
    const service::ServiceClient client(source, serverPath);
    EXPECT_EQ(client.ServiceRequest(service::RegistrationRequest("Eval 1")).RecordCount(), 1);
    serverPath = "http://second.test/vn/";  // the shared value, read at each request
    client.ServiceRequest(service::AccountRequest("a", "b"));
    EXPECT_EQ(source.addresses, (std::vector<std::string>{"http://first.test/gettemp.asp?TempID=Eval%201",
                                                          "http://second.test/vn/getdata.asp?UID=a&PWD=b"}));
}

TEST(OpenInBrowser, HandsTheAddressOverAndSwallowsAFailure) {
    RecordingShell shell;
    service::OpenInBrowser(shell, "http://h/profile/hwsw.asp", "Open", nullptr);
    shell.failing = true;
    EXPECT_NO_THROW(service::OpenInBrowser(shell, "http://site/subscription/details.asp", "", nullptr));
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"http://h/profile/hwsw.asp|Open|none",
                                                     "http://site/subscription/details.asp||none"}));
}

}  // namespace
