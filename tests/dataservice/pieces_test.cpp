// The server's pieces on their own: query decoding, the journal's text form, the record-set
// writer read back by the collector's reader, password hashes and their memory.
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include <pugixml.hpp>

#include "dataservice/common/journal_format.h"
#include "dataservice/cli/listing.h"
#include "dataservice/common/passwords.h"
#include "dataservice/pages/recordset_writer.h"
#include "dataservice/common/params.h"
#include "dataservice/common/markup.h"
#include "platform/common/text.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(QueryDecoding, SplitsAndDecodesInTheOrderSent) {
    EXPECT_THAT(parseQuery("b=2&a=%C3%9C+x&&flag&=v&k=a=b"),
                ElementsAre(Pair("b", "2"), Pair("a", "\xC3\x9C x"), Pair("flag", ""), Pair("", "v"),
                            Pair("k", "a=b")));
    EXPECT_TRUE(parseQuery("").empty());
}

TEST(QueryDecoding, KeepsBrokenEscapesAndDecodesNulBytes) {
    EXPECT_EQ(percentDecode("%", true), "%");
    EXPECT_EQ(percentDecode("%4", true), "%4");
    EXPECT_EQ(percentDecode("%G1%41", true), "%G1A");
    EXPECT_EQ(percentDecode("%00", true), std::string(1, '\0'));
    EXPECT_EQ(percentDecode("a+b", false), "a+b");
}

TEST(QueryDecoding, FindsKeysInAnyCaseAndTakesTheFirst) {
    const Params p = {{"uid", "one"}, {"UID", "two"}};
    ASSERT_TRUE(findParam(p, "UID"));
    EXPECT_EQ(*findParam(p, "UID"), "one");
    EXPECT_EQ(findParam(p, "PWD"), nullptr);
}

TEST(Utf8Repair, ReplacesMalformedSequencesAndWhatXmlCannotCarry) {
    EXPECT_EQ(xmlSafeText("ok \xC3\xBC"), "ok \xC3\xBC");
    EXPECT_EQ(text::RepairUtf8("\xFF"), "\xEF\xBF\xBD");
    EXPECT_EQ(text::RepairUtf8("\xC3"), "\xEF\xBF\xBD");                  // cut short
    EXPECT_EQ(text::RepairUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
    EXPECT_EQ(text::RepairUtf8("\xED\xA0\x80").find("\xED"), std::string::npos);  // surrogate
    EXPECT_EQ(xmlSafeText("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(text::RepairUtf8(std::string("a\0b\x01", 4)), std::string("a\0b\x01", 4));
    EXPECT_EQ(xmlSafeText(std::string("a\0b\x01\t", 5)), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\t");
}

TEST(Escaping, XmlAttributesAndHtml) {
    EXPECT_EQ(xmlAttributeEscape("<a href=\"x\">'&'\t\n\r"), "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&#9;&#10;&#13;");
    EXPECT_EQ(htmlEscape("<b>\"Tom & 'Jerry'\"</b>"), "&lt;b&gt;&quot;Tom &amp; &#39;Jerry&#39;&quot;&lt;/b&gt;");
}

TEST(JournalText, MasksPasswordsWhateverTheKeysCase) {
    EXPECT_THAT(maskPasswords({{"UID", "a"}, {"PWD", "s"}, {"pwd", "t"}, {"PWDX", "u"}}),
                ElementsAre(Pair("UID", "a"), Pair("PWD", "***"), Pair("pwd", "***"), Pair("PWDX", "u")));
}

TEST(JournalText, IsOneReadableLineThatReadsBackExactly) {
    const Params odd = {{"qIS", "a&b=c#d%e+f g"}, {"k=&", "\xC3\x9Cn\xC3\xAF"}, {"", ""},
                        {"bin", std::string("\0\x01\n\t\x7F\xFF\xC3", 7)}};
    const std::string text = encodeParams(odd);
    EXPECT_EQ(text.find_first_of(std::string("\0\n\r\t", 4)), std::string::npos);
    EXPECT_NE(text.find("qIS=a%26b%3Dc#d%25e+f g"), std::string::npos);
    EXPECT_NE(text.find("\xC3\x9Cn\xC3\xAF"), std::string::npos);  // readable, not escaped
    EXPECT_EQ(decodeParams(text), odd);
}

TEST(JournalText, RoundTripsRandomBytes) {
    std::mt19937 random(20240607);
    for (int round = 0; round < 300; ++round) {
        Params params;
        const int n = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < n; ++i) {
            std::string key, value;
            for (int k = static_cast<int>(random() % 6); k > 0; --k) key.push_back(static_cast<char>(random()));
            for (int k = static_cast<int>(random() % 20); k > 0; --k) value.push_back(static_cast<char>(random()));
            params.emplace_back(key, value);
        }
        ASSERT_EQ(decodeParams(encodeParams(params)), params) << round;
    }
}

TEST(Listing, PrintsItemsOnePerLineWithTabsAndBreaksEscaped) {
    std::ostringstream out;
    printItems({Item{1, "Software", "Editor\t2\nbeta", std::nullopt}, Item{2, "OS", "100%", std::nullopt}}, out);
    EXPECT_EQ(out.str(), "Software\tEditor%092%0Abeta\nOS\t100%25\n");
}

TEST(Listing, ParsesVersions) {
    EXPECT_EQ(parseVersion("1.1.11"), (Version{1, 1, 11}));
    EXPECT_FALSE(parseVersion("1.1"));
    EXPECT_FALSE(parseVersion("1.1.11.0"));
    EXPECT_FALSE(parseVersion("1.-1.11"));
    EXPECT_FALSE(parseVersion("a.b.c"));
    EXPECT_FALSE(parseVersion(""));
}

// The collector's reader sees what the writer meant, whatever the values hold.
TEST(RecordSetWriter, IsReadBackByTheCollectorsReader) {
    const std::vector<Column> columns = {{"Name", ColumnType::String, 10},
                                         {"Count", ColumnType::Int},
                                         {"When", ColumnType::DateTime}};
    const std::string odd = "<'\"&> \xC3\x9C\t\nline";
    const std::string xml = writeRecordSet(columns, {Row{odd, std::int64_t{-42}, std::string("2024-02-29T13:14:15")},
                                                     Row{std::monostate{}, std::int64_t{7}, std::monostate{}}});
    const platform::RecordSet rs = platform::ParseRecordSet(xml);
    ASSERT_EQ(rs.RecordCount(), 2);
    EXPECT_THAT(rs.Columns(), ElementsAre("Name", "Count", "When"));
    EXPECT_EQ(std::get<std::string>(rs.Field(0)), odd);
    EXPECT_EQ(std::get<std::int64_t>(rs.Field(1)), -42);
    const auto when = platform::civilFromDate(std::get<platform::Date>(rs.Field(2)));
    EXPECT_EQ(when, (platform::CivilTime{2024, 2, 29, 13, 14, 15}));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(rs.Rows()[1][0]));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(rs.Rows()[1][2]));
}

TEST(RecordSetWriter, WritesTheSchemaWithItsNamespacesAndLeavesNullsOut) {
    const std::string xml = writeRecordSet({{"UserName", ColumnType::String, 5}, {"N", ColumnType::Int}},
                                           {Row{std::string("a much longer name"), std::monostate{}}});
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    const pugi::xml_node root = doc.child("xml");
    EXPECT_STREQ(root.attribute("xmlns:s").value(), "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882");
    EXPECT_STREQ(root.attribute("xmlns:dt").value(), "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882");
    EXPECT_STREQ(root.attribute("xmlns:rs").value(), "urn:schemas-microsoft-com:rowset");
    EXPECT_STREQ(root.attribute("xmlns:z").value(), "#RowsetSchema");
    const pugi::xml_node type = root.child("s:Schema").child("s:ElementType");
    EXPECT_STREQ(root.child("s:Schema").attribute("id").value(), "RowsetSchema");
    EXPECT_STREQ(type.attribute("name").value(), "row");
    EXPECT_STREQ(type.attribute("content").value(), "eltOnly");
    const pugi::xml_node first = type.child("s:AttributeType");
    EXPECT_STREQ(first.attribute("rs:number").value(), "1");
    EXPECT_STREQ(first.child("s:datatype").attribute("dt:type").value(), "string");
    // The declared length covers the longest value actually written.
    EXPECT_STREQ(first.child("s:datatype").attribute("dt:maxLength").value(), "18");
    EXPECT_STREQ(first.next_sibling("s:AttributeType").child("s:datatype").attribute("dt:type").value(), "int");
    const pugi::xml_node row = root.child("rs:data").child("z:row");
    EXPECT_STREQ(row.attribute("UserName").value(), "a much longer name");
    EXPECT_FALSE(row.attribute("N"));
}

TEST(RecordSetWriter, AnEmptySetIsStillARecordSet) {
    const platform::RecordSet rs = platform::ParseRecordSet(writeRecordSet({{"UID", ColumnType::String}}, {}));
    EXPECT_EQ(rs.RecordCount(), 0);
}

TEST(PasswordHash, IsSaltedAndNeverHoldsThePassword) {
    const std::string a = hashPassword("hunter2", 1000), b = hashPassword("hunter2", 1000);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.find("hunter2"), std::string::npos);
    EXPECT_EQ(a.rfind("pbkdf2-sha256$1000$", 0), 0u);
    EXPECT_EQ(passwordIterations(a), 1000);
    EXPECT_EQ(passwordIterations(hashPassword("x")), kDefaultPasswordIterations);
}

TEST(PasswordHash, VerifiesOnlyTheSamePassword) {
    const std::string stored = hashPassword("s\xC3\xBCper secret", 1000);
    EXPECT_TRUE(verifyPassword("s\xC3\xBCper secret", stored));
    EXPECT_FALSE(verifyPassword("s\xC3\xBCper secreT", stored));
    EXPECT_FALSE(verifyPassword("", stored));
    EXPECT_TRUE(verifyPassword("", hashPassword("", 1000)));
}

TEST(PasswordHash, RefusesStoredTextsOfAnyOtherForm) {
    for (const char* bad : {"", "hunter2", "pbkdf2-sha256$1000$zz$00", "pbkdf2-sha256$0$00$00", "md5$1$00$00",
                            "pbkdf2-sha256$1000$$", "pbkdf2-sha256$x$00$00", "pbkdf2-sha256$1000$000$00"})
        EXPECT_FALSE(verifyPassword("hunter2", bad)) << bad;
}

class FakeClock {
public:
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    PasswordVerifier::Clock fn() {
        return [this] { return now; };
    }
};

TEST(PasswordMemory, DerivesOnceForARunOfRequests) {
    FakeClock clock;
    PasswordVerifier v(std::chrono::minutes(5), clock.fn());
    const std::string stored = hashPassword("pw", 1000);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(v.verify("ann", "pw", stored));
    EXPECT_EQ(v.derivations(), 1u);
}

TEST(PasswordMemory, NeverRemembersAWrongPasswordOrLendsOneToAnotherName) {
    FakeClock clock;
    PasswordVerifier v(std::chrono::minutes(5), clock.fn());
    const std::string stored = hashPassword("pw", 1000);
    EXPECT_FALSE(v.verify("ann", "wrong", stored));
    EXPECT_FALSE(v.verify("ann", "wrong", stored));
    EXPECT_EQ(v.derivations(), 2u);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    EXPECT_FALSE(v.verify("bob", "pw", hashPassword("other", 1000)));
}

TEST(PasswordMemory, ForgetsAfterItsTimeAndWhenTheStoredHashChanges) {
    FakeClock clock;
    PasswordVerifier v(std::chrono::minutes(5), clock.fn());
    const std::string stored = hashPassword("pw", 1000);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    clock.now += std::chrono::minutes(4);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    EXPECT_EQ(v.derivations(), 1u);
    clock.now += std::chrono::minutes(2);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    EXPECT_EQ(v.derivations(), 2u);
    // The account was made again with another password: the old pair no longer counts.
    EXPECT_FALSE(v.verify("ann", "pw", hashPassword("new", 1000)));
}

// Each thread keeps its own copy of a verifier's keyed state: two verifiers used in turns from
// several threads each recognise their own remembered pairs, request after request.
TEST(PasswordMemory, VerifiersUsedInTurnsOnSeveralThreadsKeepTheirOwnKeys) {
    FakeClock clock;
    const std::string stored = hashPassword("pw", 1000);
    PasswordVerifier first(std::chrono::minutes(5), clock.fn());
    PasswordVerifier second(std::chrono::minutes(5), clock.fn());
    ASSERT_TRUE(first.verify("ann", "pw", stored));
    ASSERT_TRUE(second.verify("bob", "pw", stored));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (!first.remembered("ann", "pw", stored) || !second.remembered("bob", "pw", stored)) ++wrong;
                if (first.remembered("bob", "pw", stored) || second.remembered("ann", "pw", stored) ||
                    first.remembered("ann", "pW", stored))
                    ++wrong;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(first.derivations() + second.derivations(), 2u);
}

}  // namespace
}  // namespace dataservice::testing
