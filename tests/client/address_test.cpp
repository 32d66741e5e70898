// Request addresses of every page, the encoding of values, and the site root of ServerPath.
#include <stdexcept>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "locale_guard.h"
#include "client/service.h"

namespace {

using service::BuildAddress;
using service::Identity;
using service::Request;
using service::Upload;

const std::string kServerPath = "http://vantrel.test/net/";
const Identity kSubscriber{true, "anna", "pw", ""};
const Identity kEvaluating{false, "", "", "EvalA1B2C"};

std::string addressOf(const Request& r) { return BuildAddress(kServerPath, r); }

platform::Date at(int y, int mo, int d, int h = 0, int mi = 0) {
    return platform::dateFromCivil({y, mo, d, h, mi, 0}).value();
}

TEST(RequestAddresses, StartUpAndSignInPages) {
    EXPECT_EQ(addressOf(service::VersionRequest(1, 1, 11)),
              "http://vantrel.test/net/getversion.asp?Major=1&Minor=1&Rev=11");
    EXPECT_EQ(addressOf(service::AccountRequest("anna", "pw")), "http://vantrel.test/net/getdata.asp?UID=anna&PWD=pw");
    EXPECT_EQ(addressOf(service::RegistrationRequest("EvalA1B2C")),
              "http://vantrel.test/net/gettemp.asp?TempID=EvalA1B2C");
}

TEST(RequestAddresses, ProfileResetAndFinalize) {
    TimeLocale c("C");
    ASSERT_TRUE(c.active());
    EXPECT_EQ(addressOf(service::ProfileResetRequest(kSubscriber, at(2023, 1, 15), at(2024, 3, 5, 14, 30))),
              "http://vantrel.test/net/updatedata.asp?UID=anna&PWD=pw&crDate=01%2F15%2F23"
              "&luDate=03%2F05%2F24%2014%3A30%3A00");
    EXPECT_EQ(addressOf(service::ProfileResetRequest(kEvaluating, at(2023, 1, 15), at(2024, 3, 5))),
              "http://vantrel.test/net/evalupdatedata.asp?UID=EvalA1B2C");
    EXPECT_EQ(addressOf(service::FinalizeRequest(kSubscriber)), "http://vantrel.test/net/finalize.asp?UID=anna&PWD=pw");
    // finalize.asp has no evaluation twin; asking for one is a caller's mistake.
    EXPECT_THROW(service::FinalizeRequest(kEvaluating), std::logic_error);
}

struct UploadCase {
    Upload upload;
    std::vector<std::string> data;
    const char* subscriber;
    const char* evaluating;
};

TEST(RequestAddresses, EveryUploadPageAndItsEvaluationTwin) {
    const UploadCase cases[] = {
        {Upload::Software, {"Editor 2.0"}, "sftdata.asp?UID=anna&qIS=Editor%202.0&PWD=pw",
         "evalsftdata.asp?UID=EvalA1B2C&qIS=Editor%202.0"},
        {Upload::Sound, {"HDA"}, "sounddata.asp?UID=anna&Sound=HDA&PWD=pw", "evalsounddata.asp?UID=EvalA1B2C&Sound=HDA"},
        {Upload::Video, {"VGA 1.2"}, "videodata.asp?UID=anna&Video=VGA%201.2&PWD=pw",
         "evalvideodata.asp?UID=EvalA1B2C&Video=VGA%201.2"},
        {Upload::Printer, {"Laser"}, "printdata.asp?UID=anna&Printer=Laser&PWD=pw",
         "evalprintdata.asp?UID=EvalA1B2C&Printer=Laser"},
        {Upload::MakeAndModel, {"Acme X1"}, "MMSdata.asp?UID=anna&MMS=Acme%20X1&PWD=pw",
         "evalMMSdata.asp?UID=EvalA1B2C&MMS=Acme%20X1"},
        {Upload::Bios, {"03/05/24", "Acme X1 R1.0"},
         "mainhwddata.asp?UID=anna&ConfigDate=03%2F05%2F24&BIOS=Acme%20X1%20R1.0&PWD=pw",
         "evalmainhwddata.asp?UID=EvalA1B2C&ConfigDate=03%2F05%2F24&BIOS=Acme%20X1%20R1.0"},
        {Upload::OperatingSystem, {"Debian"}, "OSdata.asp?UID=anna&OS=Debian&PWD=pw",
         "evalOSdata.asp?UID=EvalA1B2C&OS=Debian"},
        {Upload::NetworkCard, {"eth0"}, "NICdata.asp?UID=anna&NIC=eth0&PWD=pw", "evalNICdata.asp?UID=EvalA1B2C&NIC=eth0"},
    };
    for (const UploadCase& c : cases) {
        EXPECT_EQ(addressOf(service::UploadRequest(c.upload, kSubscriber, c.data)), kServerPath + c.subscriber);
        EXPECT_EQ(addressOf(service::UploadRequest(c.upload, kEvaluating, c.data)), kServerPath + c.evaluating);
    }
    EXPECT_THROW(service::UploadRequest(Upload::Bios, kSubscriber, {"only one"}), std::invalid_argument);
    EXPECT_THROW(service::UploadRequest(Upload::Sound, kSubscriber, {}), std::invalid_argument);
}

TEST(RequestAddresses, EncodesValuesButNotPagesOrKeys) {
    const Request r{"x.asp", {{"A", "a&b=c#d%e+f g"}, {"B", "\xC3\x9Cn\xC3\xAF" "c\xC3\xB8" "d\xC3\xA9"},
                              {"C", ""}, {"D", "AZaz09-._~"}, {"E", "/?:@!$'()*,;\t\n"}}};
    EXPECT_EQ(BuildAddress("http://h/", r),
              "http://h/x.asp?A=a%26b%3Dc%23d%25e%2Bf%20g&B=%C3%9Cn%C3%AFc%C3%B8d%C3%A9&C=&D=AZaz09-._~"
              "&E=%2F%3F%3A%40%21%24%27%28%29%2A%2C%3B%09%0A");
}

TEST(RequestAddresses, EmptyValuesKeepTheirKeysInOrder) {
    EXPECT_EQ(addressOf(service::UploadRequest(Upload::Sound, kSubscriber, {""})),
              kServerPath + "sounddata.asp?UID=anna&Sound=&PWD=pw");
    EXPECT_EQ(addressOf(service::AccountRequest("", "")), kServerPath + "getdata.asp?UID=&PWD=");
    EXPECT_EQ(addressOf(service::UploadRequest(Upload::Bios, kEvaluating, {"", ""})),
              kServerPath + "evalmainhwddata.asp?UID=EvalA1B2C&ConfigDate=&BIOS=");
}

TEST(RequestAddresses, UseServerPathExactlyAsStored) {
    const Request version = service::VersionRequest(1, 1, 11);
    EXPECT_EQ(BuildAddress("http://h/vn", version), "http://h/vngetversion.asp?Major=1&Minor=1&Rev=11");
    EXPECT_EQ(BuildAddress("", version), "getversion.asp?Major=1&Minor=1&Rev=11");
}

TEST(SiteRoot, IsSchemeHostAndSlash) {
    const std::tuple<std::string, std::optional<std::string>> cases[] = {
        {"http://vantrel.test/net/", "http://vantrel.test/"},
        {"http://h/dir/sub/", "http://h/"},
        {"https://h/x/", "https://h/"},
        {"https://h:8443/x/", "https://h:8443/"},
        {"http://h", "http://h/"},
        {"http://h?x=1", "http://h/"},
        {"HTTP://Host.Test/", "HTTP://Host.Test/"},
        {"vantrel.test/net/", std::nullopt},
        {"/net/", std::nullopt},
        {"", std::nullopt},
        {"http:///net/", std::nullopt},
        {"://h/", std::nullopt},
        {"1http://h/", std::nullopt},
        {"http://bad host/", std::nullopt},
    };
    for (const auto& [serverPath, root] : cases) EXPECT_EQ(service::SiteRoot(serverPath), root) << serverPath;
}

TEST(SiteRoot, ProfileAddressSitsAtTheHostRoot) {
    EXPECT_EQ(service::ProfileAddress("http://vantrel.test/net/"), "http://vantrel.test/profile/hwsw.asp");
    EXPECT_EQ(service::ProfileAddress("https://h:8443/a/b/"), "https://h:8443/profile/hwsw.asp");
    EXPECT_EQ(service::ProfileAddress("net/"), std::nullopt);
    EXPECT_EQ(service::ProfileAddress(""), std::nullopt);
}

TEST(SiteAddress, IsAFixedAddressWithPathsAppended) {
    const std::string& site = service::SiteAddress();
    EXPECT_EQ(site.rfind("http", 0), 0u);
    EXPECT_NE(site.back(), '/');
    EXPECT_EQ(service::SiteAddressWithPath("/subscription/details.asp"), site + "/subscription/details.asp");
}

TEST(SiteAddress, StandsBetweenALeadAndATailWithOrWithoutAPage) {
    const std::string& site = service::SiteAddress();
    EXPECT_EQ(service::AroundSiteAddress("Go to ", "."), "Go to " + site + ".");
    EXPECT_EQ(service::AroundSiteAddress("See ", "/download/FAQ.asp", " now"), "See " + site + "/download/FAQ.asp now");
    EXPECT_EQ(service::AroundSiteAddress("", ""), site);
}

}  // namespace
