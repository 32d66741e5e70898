// The current collection as CSV and JSON: cells no spreadsheet runs, quoting as RFC 4180 has
// it, the session the page needs, and the page's filter followed.
#include "dataservice/profile/views/downloads.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

struct CellCase {
    const char* name;
    std::string value;
    std::string written;
};

class CsvCells : public ::testing::TestWithParam<CellCase> {};

TEST_P(CsvCells, AreQuotedAndNeutralisedAsNeeded) { EXPECT_EQ(profile::csvCell(GetParam().value), GetParam().written); }

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvCells,
    ::testing::Values(CellCase{"plain", "Editor v1.0", "Editor v1.0"},
                      CellCase{"empty", "", ""},
                      CellCase{"formula", "=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
                      CellCase{"plus", "+1+2", "\"'+1+2\""},
                      CellCase{"minus", "-2+3", "\"'-2+3\""},
                      CellCase{"at", "@SUM(A1)", "\"'@SUM(A1)\""},
                      CellCase{"tab", "\t=1", "\"'\t=1\""},
                      CellCase{"cr", "\r=1", "\"'\r=1\""},
                      CellCase{"inner equals", "a=b", "a=b"},
                      CellCase{"comma", "Foo, Inc.", "\"Foo, Inc.\""},
                      CellCase{"quote", "say \"hi\"", "\"say \"\"hi\"\"\""},
                      CellCase{"line break", "two\nlines", "\"two\nlines\""}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

class Downloads : public BackendServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(store->profiles().addAccount("alice", "pw"));
        const std::int64_t id = store->profiles().subscriber("alice")->id;
        store->inventory().reset(id);
        store->inventory().add(id, "Software", "Editor v1.0");
        store->inventory().add(id, "Software", "Old Tool v2");
        store->inventory().finalize(id);
        store->inventory().reset(id);
        store->inventory().add(id, "Software", "Editor v1.1");
        store->inventory().add(id, "Software", "=cmd|' /C calc'!A0 v1");
        store->inventory().add(id, "Software", std::string("Bad\x01\xFF name, \"quoted\" v2"));
        store->inventory().add(id, "Software", "Done 100% v3");
        store->inventory().add(id, "BIOS", "ACME 1.0", std::string("2020-01-02"));
        store->inventory().finalize(id);
    }
    httplib::Result fetch(const std::string& target, const std::string& cookies) {
        return client->Get(target.c_str(), httplib::Headers{{"Cookie", cookies}});
    }
};

TEST_P(Downloads, NeedTheSessionAndCarryTheCurrentCollectionEscaped) {
    for (const char* target : {"/profile/hwsw.asp?download=csv", "/profile/hwsw.asp?download=json"}) {
        const auto [status, body] = get(target);
        EXPECT_TRUE(status == 200 || status == 403) << target;
        EXPECT_EQ(body.find("Editor"), std::string::npos) << target;
        EXPECT_NE(body.find("name=\"PWD\""), std::string::npos) << target;
    }
    const std::string session = signIn("alice", "pw");
    ASSERT_FALSE(session.empty());

    const auto csv = fetch("/profile/hwsw.asp?download=csv", session);
    ASSERT_TRUE(csv);
    EXPECT_EQ(csv->status, 200);
    EXPECT_EQ(csv->body,
              "category,text,config_date\r\n"
              "Software,Editor v1.1,\r\n"
              "Software,\"'=cmd|' /C calc'!A0 v1\",\r\n"
              "Software,\"Bad\x01\xEF\xBF\xBD name, \"\"quoted\"\" v2\",\r\n"
              "Software,Done 100% v3,\r\n"
              "BIOS,ACME 1.0,2020-01-02\r\n");
    const std::string disposition = csv->get_header_value("Content-Disposition");
    EXPECT_THAT(disposition, ::testing::MatchesRegex("attachment; filename=\"vantrel-alice-[0-9]{4}-[0-9]{2}-[0-9]{2}\\.csv\""));

    const auto json = fetch("/profile/hwsw.asp?download=json&filter=EDIT", session);
    ASSERT_TRUE(json);
    EXPECT_EQ(json->get_header_value("Content-Type"), "application/json; charset=utf-8");
    EXPECT_NE(json->body.find("\"name\": \"alice\""), std::string::npos);
    EXPECT_NE(json->body.find("{\"category\": \"Software\", \"text\": \"Editor v1.1\", \"configDate\": null}"),
              std::string::npos);
    EXPECT_NE(json->body.find("{\"category\": \"BIOS\", \"text\": \"ACME 1.0\", \"configDate\": \"2020-01-02\"}"),
              std::string::npos);  // the filter narrows the programs only, as on the page
    EXPECT_EQ(json->body.find("calc"), std::string::npos);
    const auto all = fetch("/profile/hwsw.asp?download=json", session);
    ASSERT_TRUE(all);  // as stored, escaped by JSON's rules alone
    EXPECT_NE(all->body.find("\"text\": \"Bad\\u0001\xEF\xBF\xBD name, \\\"quoted\\\" v2\""), std::string::npos) << all->body;
    EXPECT_NE(all->body.find("\"text\": \"Done 100% v3\""), std::string::npos) << all->body;
    EXPECT_NE(json->body.find("\"completed\": \"20"), std::string::npos);

    // The page: what changed, the collections, and links that carry the filter.
    const auto [status, html] = getWith("/profile/hwsw.asp?filter=a%20b", session);
    EXPECT_EQ(status, 200);
    for (const char* piece : {"Changes since the previous collection", ">Added</h3>", ">Removed</h3>", ">Updated</h3>",
                              "Editor <span class=\"versions\">1.0 &rarr; 1.1</span>", "Old Tool v2</li>", "Bad%01%FF name",
                              "href=\"hwsw.asp?download=csv&amp;filter=a%20b\"", "Collections kept"}) {
        EXPECT_NE(html.find(piece), std::string::npos) << piece;
    }
    EXPECT_EQ(html.find('\x01'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Backends, Downloads, kBackends, backendName);

}  // namespace
}  // namespace dataservice::testing
