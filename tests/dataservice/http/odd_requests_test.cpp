// A bounded storm of odd requests (fixed seed): whatever arrives, the server answers or
// closes, keeps its replies well-formed and goes on serving.
#include <algorithm>
#include <random>
#include <regex>

#include "tests/dataservice/harness.h"
#include "platform/common/text.h"

namespace dataservice::testing {
namespace {

// Pages with the keys each needs, so that many requests get past the key check.
const std::vector<std::pair<const char*, std::vector<const char*>>> kPages = {
    {"getversion.asp", {"Major", "Minor", "Rev"}},
    {"getdata.asp", {"UID", "PWD"}},
    {"gettemp.asp", {"TempID"}},
    {"updatedata.asp", {"UID", "PWD", "crDate", "luDate"}},
    {"evalupdatedata.asp", {"UID"}},
    {"sftdata.asp", {"UID", "qIS", "PWD"}},
    {"evalsftdata.asp", {"UID", "qIS"}},
    {"mainhwddata.asp", {"UID", "ConfigDate", "BIOS", "PWD"}},
    {"evalmainhwddata.asp", {"UID", "ConfigDate", "BIOS"}},
    {"NICdata.asp", {"UID", "NIC", "PWD"}},
    {"finalize.asp", {"UID", "PWD"}},
    {"profile/hwsw.asp", {"UID"}},
    {"nosuch.asp", {}},
    {"", {}},
};
const char* const kKeys[] = {"UID", "PWD", "qIS", "BIOS", "ConfigDate", "TempID", "Major", "Minor", "Rev",
                             "NIC", "crDate", "luDate", "uid", ""};

class Fuzz : public ServiceFixture {
protected:
    // The storm's many wrong passwords would otherwise lock the names it signs in with after.
    ServerOptions serverOptions() override {
        ServerOptions options = ServiceFixture::serverOptions();
        options.pages.signIn.perAccount = options.pages.signIn.perAddress = 1000000;
        return options;
    }
    std::mt19937 random{0x5EED};

    std::size_t below(std::size_t n) { return random() % n; }
    std::string bytes(std::size_t max) {
        std::string s;
        for (std::size_t n = below(max + 1); n > 0; --n) s.push_back(static_cast<char>(random()));
        return s;
    }
    std::string randomCase(std::string s) {
        for (char& c : s)
            if (below(3) == 0) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }
    // A value: percent-encoded random bytes, raw printable junk, or one of the odd favourites.
    std::string value() {
        switch (below(8)) {
            case 0: return encode(bytes(40));
            case 1: return "%" + bytes(2) + "%%+" + std::to_string(random());
            case 2: return encode("<script>alert(1)</script>&amp;\"'");
            case 3: return std::string(below(2) ? 7000 : 10, 'v');
            default: return below(2) ? "pw" : "Eval00F00";  // a known name, identifier or password
        }
    }
    std::string target() {
        std::string path = "/";
        for (std::size_t d = below(3); d > 0; --d) path += (below(4) == 0 ? encode(bytes(8)) : "dir") + "/";
        const auto& [page, keys] = kPages[below(kPages.size())];
        path += below(10) == 0 ? encode(bytes(12)) : randomCase(page);
        std::string query;
        if (below(3)) {  // the page's own keys, in a random order, before any others
            std::vector<const char*> order = keys;
            std::shuffle(order.begin(), order.end(), random);
            for (const char* key : order) query += (query.empty() ? "" : "&") + randomCase(key) + "=" + value();
        }
        for (std::size_t n = below(4); n > 0; --n) {
            if (!query.empty() || below(2)) query += "&";
            query += below(8) == 0 ? encode(bytes(6)) : kKeys[below(std::size(kKeys))];
            if (below(6)) query += "=" + value();
        }
        return query.empty() && below(2) ? path : path + "?" + query;
    }
    std::string request() {
        switch (below(12)) {
            case 0:  // bytes the request line cannot hold: blanks, breaks, NULs
                return "GET " + target() + bytes(30) + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
            case 1:
                return bytes(200) + "\r\n\r\n";
            case 2:
                return "BREW " + target() + " HTTP/1.1\r\nConnection: close\r\nContent-Length: 3\r\n\r\nabc";
            case 3:
                return "GET " + target() + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nX-Odd: " + bytes(40) +
                       "\r\n\r\n";
            default:
                return "GET " + target() + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
        }
    }
};

TEST_F(Fuzz, NoRequestStopsTheServerOrSpoilsAReply) {
    ASSERT_TRUE(store->profiles().addAccount("UID", "pw"));
    ASSERT_TRUE(store->profiles().addAccount("pw", "pw"));
    ASSERT_TRUE(store->profiles().registerEvaluation("Eval00F00"));
    ASSERT_TRUE(store->profiles().registerEvaluation("pw"));

    int answered = 0;
    for (int i = 0; i < 400; ++i) {
        const std::string reply = rawExchange(server->port(), request(), 3000);
        const int status = rawStatus(reply);
        if (status == 0) continue;  // closed without an answer: allowed for garbage
        ++answered;
        ASSERT_TRUE(status == 200 || status == 400 || status == 404 || status == 405 || status == 413 ||
                    status == 414)
            << status;
        // A record set that comes back is always one the collector can read.
        if (status == 200 && reply.find("Content-Type: text/xml") != std::string::npos) {
            const std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
            EXPECT_NO_THROW(platform::ParseRecordSet(body)) << i;
        }
    }
    EXPECT_GT(answered, 300);

    // Still serving, with the journal in order.
    EXPECT_EQ(records("/getversion.asp?Major=1&Minor=1&Rev=11").RecordCount(), 1);
    const auto journal = store->journal().all();
    for (std::size_t i = 1; i < journal.size(); ++i) ASSERT_LT(journal[i - 1].seq, journal[i].seq);
    for (const auto& entry : journal)
        for (const auto& [key, value] : entry.params)
            if (text::EqualsNoCase(key, "PWD")) {
                ASSERT_EQ(value, "***");
            }

    // Whatever was stored, the profile pages carry no markup of its own: only our tags remain.
    std::size_t stored = 0;
    for (const char* name : {"UID", "pw", "Eval00F00"}) {
        stored += store->inventory().items(store->profiles().named(name)->id).size();
        const std::string session = signIn(name, "pw");
        ASSERT_FALSE(session.empty()) << name;
        const auto [status, html] = getWith("/profile/hwsw.asp", session);
        ASSERT_EQ(status, 200);
        const std::string stripped = std::regex_replace(
            html,
            std::regex("</?(html|head|body|meta|title|link|script|header|main|section|form|input|button|span|label|"
                       "div|table|thead|tbody|tr|th|td|a|dl|dt|dd|h1|h2|h3|p|ol|ul|li|small|strong|time)( [^<>]*)?>|"
                       "<!DOCTYPE html>"),
            "");
        EXPECT_EQ(stripped.find('<'), std::string::npos) << name;
    }
    EXPECT_GT(stored, 0u);  // the storm did reach the storing pages
}

}  // namespace
}  // namespace dataservice::testing
