// Query decoding, UTF-8 repair and the escaping of XML and HTML: total over any bytes.
#include "dataservice/common/markup.h"
#include "dataservice/common/params.h"
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

}  // namespace
}  // namespace dataservice::testing
