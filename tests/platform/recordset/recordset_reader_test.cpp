// The persisted-record-set reader over hand-written replies.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "platform/recordset/recordset.h"

namespace {

using platform::CivilTime;
using platform::Date;
using platform::FieldValue;
using platform::ParseRecordSet;
using platform::PlatformError;
using platform::RecordSet;
using testing::ElementsAre;
using testing::HasSubstr;

const char* const kOpen =
    "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\n"
    "     xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'\n"
    "     xmlns:rs='urn:schemas-microsoft-com:rowset'\n"
    "     xmlns:z='#RowsetSchema'>\n";

// A column as record-set persistence writes it; an empty type leaves the datatype out.
std::string column(const std::string& name, int number, const std::string& type,
                   const std::string& extra = "") {
    std::string text = "<s:AttributeType name='" + name + "' rs:number='" + std::to_string(number) + "'" +
                       extra + " rs:writeunknown='true'>";
    if (!type.empty()) text += "<s:datatype dt:type='" + type + "' dt:maxLength='255' rs:maybenull='true'/>";
    return text + "</s:AttributeType>\n";
}

std::string document(const std::string& columns, const std::string& data) {
    return std::string(kOpen) +
           "<s:Schema id='RowsetSchema'>\n"
           "  <s:ElementType name='row' content='eltOnly' rs:updatable='true'>\n" +
           columns +
           "    <s:extends type='rs:rowbase'/>\n"
           "  </s:ElementType>\n"
           "</s:Schema>\n"
           "<rs:data>\n" +
           data + "</rs:data>\n</xml>\n";
}

// The account-check reply's shape: an id, two dates and a name.
std::string accountColumns() {
    return column("ID", 1, "int") + column("crDate", 2, "dateTime") + column("luDate", 3, "dateTime") +
           column("UserName", 4, "string");
}

Date at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return platform::dateFromCivil(CivilTime{y, mo, d, h, mi, s}).value();
}

std::string errorOf(const std::string& bytes) {
    try {
        const RecordSet set = ParseRecordSet(bytes);
        return "no error, " + std::to_string(set.RecordCount()) + " records";
    } catch (const PlatformError& e) {
        return e.what();
    }
}

TEST(RecordSetReader, ReadsOneRecordWithTypedFields) {
    const RecordSet set = ParseRecordSet(document(
        accountColumns(),
        "<z:row ID='7' crDate='2023-01-15T00:00:00' luDate='2024-03-05T14:30:00' UserName='anna'/>\n"));
    ASSERT_EQ(set.RecordCount(), 1);
    EXPECT_THAT(set.Columns(), ElementsAre("ID", "crDate", "luDate", "UserName"));
    EXPECT_EQ(set.Field(0), FieldValue(std::int64_t{7}));
    EXPECT_EQ(set.Field(1), FieldValue(at(2023, 1, 15)));
    EXPECT_EQ(set.Field(2), FieldValue(at(2024, 3, 5, 14, 30)));
    EXPECT_EQ(set.Field(3), FieldValue(std::string("anna")));
    EXPECT_THROW(set.Field(4), PlatformError);
}

TEST(RecordSetReader, KeepsSeveralRecordsInOrder) {
    const RecordSet set = ParseRecordSet(
        document(column("N", 1, "i4"), "<z:row N='3'/>\n<z:row N='1'/>\n<z:row N='2'/>\n"));
    ASSERT_EQ(set.RecordCount(), 3);
    EXPECT_EQ(set.Rows()[0][0], FieldValue(std::int64_t{3}));
    EXPECT_EQ(set.Rows()[1][0], FieldValue(std::int64_t{1}));
    EXPECT_EQ(set.Rows()[2][0], FieldValue(std::int64_t{2}));
    EXPECT_EQ(set.Field(0), FieldValue(std::int64_t{3}));
}

TEST(RecordSetReader, ReadsAnEmptySetAsZeroRecords) {
    const RecordSet set = ParseRecordSet(document(column("Major", 1, "int"), ""));
    EXPECT_EQ(set.RecordCount(), 0);
    EXPECT_THROW(set.Field(0), PlatformError);
    std::string selfClosing = document(column("Major", 1, "int"), "");
    selfClosing.replace(selfClosing.find("<rs:data>\n</rs:data>"), 20, "<rs:data/>");
    EXPECT_EQ(ParseRecordSet(selfClosing).RecordCount(), 0);
}

TEST(RecordSetReader, AbsentAttributeIsNullButEmptyTextIsText) {
    const RecordSet set =
        ParseRecordSet(document(accountColumns(), "<z:row ID='1' UserName=''/>\n<z:row crDate='2020-02-29'/>\n"));
    ASSERT_EQ(set.RecordCount(), 2);
    EXPECT_EQ(set.Rows()[0][1], FieldValue());
    EXPECT_EQ(set.Rows()[0][2], FieldValue());
    EXPECT_EQ(set.Rows()[0][3], FieldValue(std::string()));
    EXPECT_EQ(set.Rows()[1][0], FieldValue());
    EXPECT_EQ(set.Rows()[1][1], FieldValue(at(2020, 2, 29)));
}

TEST(RecordSetReader, NamesRenamedColumnsAndOrdersColumnsByNumber) {
    // Columns whose names are no XML names are written under a stand-in attribute name.
    const std::string columns = column("c1", 2, "string", " rs:name='Last Name'") + column("ID", 1, "int") +
                                column("c2", 3, "string", " rs:name='First Name'");
    const RecordSet set = ParseRecordSet(document(columns, "<z:row c2='Anna' ID='5' c1='Berg'/>\n"));
    EXPECT_THAT(set.Columns(), ElementsAre("ID", "Last Name", "First Name"));
    EXPECT_EQ(set.Field(0), FieldValue(std::int64_t{5}));
    EXPECT_EQ(set.Field(1), FieldValue(std::string("Berg")));
    EXPECT_EQ(set.Field(2), FieldValue(std::string("Anna")));
}

TEST(RecordSetReader, ReadsAColumnWithoutTypeAsText) {
    const RecordSet set = ParseRecordSet(document(column("Code", 1, ""), "<z:row Code='007'/>\n"));
    EXPECT_EQ(set.Field(0), FieldValue(std::string("007")));
}

TEST(RecordSetReader, ReadsDatesTimesAndTheirVariants) {
    const std::string columns = column("a", 1, "dateTime") + column("b", 2, "dateTime") +
                                column("c", 3, "dateTime.tz") + column("d", 4, "date") + column("e", 5, "time");
    const RecordSet set = ParseRecordSet(document(
        columns,
        "<z:row a='2024-03-05T14:30:00' b='2024-03-05T14:30:00.500' c='2024-03-05T14:30:00+01:00'"
        " d='1999-12-31' e='06:15:30'/>\n"));
    EXPECT_EQ(set.Field(0), FieldValue(at(2024, 3, 5, 14, 30)));
    const Date withFraction = std::get<Date>(set.Field(1));
    EXPECT_NEAR(withFraction.days, at(2024, 3, 5, 14, 30).days + 0.5 / 86400, 1e-9);
    EXPECT_EQ(set.Field(2), FieldValue(at(2024, 3, 5, 14, 30)));  // wall-clock time as written
    EXPECT_EQ(set.Field(3), FieldValue(at(1999, 12, 31)));
    EXPECT_EQ(set.Field(4), FieldValue(at(1899, 12, 30, 6, 15, 30)));
}

TEST(RecordSetReader, ReadsNumbersAndBooleans) {
    const std::string columns = column("i", 1, "i8") + column("u", 2, "ui8") + column("r", 3, "r8") +
                                column("n", 4, "number") + column("t", 5, "boolean") + column("f", 6, "boolean") +
                                column("one", 7, "boolean") + column("neg", 8, "i2");
    const RecordSet set = ParseRecordSet(document(
        columns, "<z:row i='9223372036854775807' u='18446744073709551615' r='1.5E+3' n='12.25'"
                 " t='True' f='False' one='1' neg='-32768'/>\n"));
    EXPECT_EQ(set.Field(0), FieldValue(std::int64_t{9223372036854775807}));
    EXPECT_EQ(set.Field(1), FieldValue(18446744073709551615.0));
    EXPECT_EQ(set.Field(2), FieldValue(1500.0));
    EXPECT_EQ(set.Field(3), FieldValue(12.25));
    EXPECT_EQ(set.Field(4), FieldValue(true));
    EXPECT_EQ(set.Field(5), FieldValue(false));
    EXPECT_EQ(set.Field(6), FieldValue(true));
    EXPECT_EQ(set.Field(7), FieldValue(std::int64_t{-32768}));
}

TEST(RecordSetReader, KeepsNonAsciiTextAsUtf8) {
    const RecordSet set = ParseRecordSet(
        document(column("Name", 1, "string"),
                 "<z:row Name='M\xC3\xBCller &amp; S\xC3\xB6hne &#x6771;&#x4EAC; &lt;x&gt; &apos;q&apos;'/>\n"));
    EXPECT_EQ(set.Field(0), FieldValue(std::string("M\xC3\xBCller & S\xC3\xB6hne \xE6\x9D\xB1\xE4\xBA\xAC <x> 'q'")));
}

// UTF-8 text (ASCII and two-byte sequences only) as UTF-16 with a byte-order mark.
std::string utf16(const std::string& utf8, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned unit = static_cast<unsigned char>(utf8[i]);
        if (unit >= 0xC0) unit = ((unit & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
        const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

TEST(RecordSetReader, ReadsEveryEncodingAReplyMayArriveIn) {
    const std::string body = document(column("Name", 1, "string"), "<z:row Name='J\xC3\xBCrgen'/>\n");
    const FieldValue expected(std::string("J\xC3\xBCrgen"));
    EXPECT_EQ(ParseRecordSet(body).Field(0), expected);
    EXPECT_EQ(ParseRecordSet("\xEF\xBB\xBF" + body).Field(0), expected);
    EXPECT_EQ(ParseRecordSet("<?xml version='1.0' encoding='UTF-8'?>\n" + body).Field(0), expected);
    EXPECT_EQ(ParseRecordSet("\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n" + body).Field(0), expected);
    const std::string declared = "<?xml version='1.0' encoding='UTF-16'?>\n" + body;
    EXPECT_EQ(ParseRecordSet(utf16(declared, false)).Field(0), expected);
    EXPECT_EQ(ParseRecordSet(utf16(declared, true)).Field(0), expected);
}

TEST(RecordSetReader, ReadsRowsInPendingChangeForm) {
    const std::string data =
        "<z:row ID='1' UserName='plain'/>\n"
        "<rs:insert>\n"
        "  <z:row ID='2' UserName='new one'/>\n"
        "  <z:row ID='3' UserName='new two'/>\n"
        "</rs:insert>\n"
        "<rs:update>\n"
        "  <rs:original><z:row ID='4' UserName='before' crDate='2001-01-01T00:00:00'/></rs:original>\n"
        "  <z:row UserName='after'/>\n"
        "</rs:update>\n"
        "<rs:delete><z:row ID='5' UserName='gone'/></rs:delete>\n";
    const RecordSet set = ParseRecordSet(document(accountColumns(), data));
    ASSERT_EQ(set.RecordCount(), 4);
    EXPECT_EQ(set.Rows()[1][3], FieldValue(std::string("new one")));
    EXPECT_EQ(set.Rows()[2][0], FieldValue(std::int64_t{3}));
    // The current values of an update are the original's with the changed ones laid over them.
    EXPECT_EQ(set.Rows()[3][0], FieldValue(std::int64_t{4}));
    EXPECT_EQ(set.Rows()[3][1], FieldValue(at(2001, 1, 1)));
    EXPECT_EQ(set.Rows()[3][3], FieldValue(std::string("after")));
}

TEST(RecordSetReader, MatchesNamespacesByUriNotByPrefix) {
    // The usual prefixes swapped around, the schema in a default namespace, a prefix redeclared inside.
    const std::string body =
        "<xml xmlns:rs='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:s='urn:schemas-microsoft-com:rowset'"
        " xmlns:t='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882' xmlns:r='#RowsetSchema'>"
        "<Schema xmlns='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' id='RowsetSchema'>"
        "<ElementType name='row' content='eltOnly'>"
        "<AttributeType name='a' s:number='2'><datatype t:type='int'/></AttributeType>"
        "<rs:AttributeType name='b' s:number='1' s:name='Bee'><rs:datatype t:type='boolean'/></rs:AttributeType>"
        "</ElementType></Schema>"
        "<s:data><r:row a='1' b='0'/><s:insert xmlns:q='#RowsetSchema'><q:row a='2'/></s:insert></s:data>"
        "</xml>";
    const RecordSet set = ParseRecordSet(body);
    EXPECT_THAT(set.Columns(), ElementsAre("Bee", "a"));
    ASSERT_EQ(set.RecordCount(), 2);
    EXPECT_EQ(set.Rows()[0][0], FieldValue(false));
    EXPECT_EQ(set.Rows()[0][1], FieldValue(std::int64_t{1}));
    EXPECT_EQ(set.Rows()[1][1], FieldValue(std::int64_t{2}));

    // The usual prefixes bound to other URIs make no record set.
    std::string wrong = document(column("a", 1, "int"), "<z:row a='1'/>");
    wrong.replace(wrong.find("uuid:BDC6E3F0"), 13, "uuid:00000000");
    EXPECT_THAT(errorOf(wrong), HasSubstr("no schema"));
}

TEST(RecordSetReader, BytesThatAreNotUtf8InNamesAndTextsBecomeReplacements) {
    const RecordSet set = ParseRecordSet(document(column("Na\xFFme", 1, "string") + column("ID", 2, "int"),
                                                  "<z:row Na\xFFme='an\xC3na' ID='1'/>\n"));
    ASSERT_EQ(set.RecordCount(), 1);
    EXPECT_THAT(set.Columns(), ElementsAre("Na\xEF\xBF\xBDme", "ID"));
    EXPECT_EQ(set.Field(0), FieldValue(std::string("an\xEF\xBF\xBDna")));
}

TEST(RecordSetReader, RefusesWhatIsNoRecordSet) {
    const std::string good = document(accountColumns(), "<z:row ID='1' UserName='anna'/>\n");
    EXPECT_THAT(errorOf(good.substr(0, good.size() / 2)), HasSubstr("malformed XML"));
    EXPECT_THAT(errorOf(good.substr(0, good.size() - 8)), HasSubstr("malformed XML"));
    EXPECT_THAT(errorOf("<!DOCTYPE html>\n<html><head><title>500 - Internal server error.</title></head>"
                        "<body><p>Error<br></p></body></html>"),
                HasSubstr("not a persisted record set"));
    EXPECT_THAT(errorOf("<html><body><h1>Not Found</h1></body></html>"), HasSubstr("<html>"));
    EXPECT_THAT(errorOf(std::string(kOpen) + "<rs:data><z:row ID='1'/></rs:data></xml>"), HasSubstr("no schema"));
    EXPECT_THAT(errorOf(std::string(kOpen) +
                        "<s:Schema id='RowsetSchema'><s:ElementType name='row'>" + column("a", 1, "int") +
                        "</s:ElementType></s:Schema></xml>"),
                HasSubstr("no data"));
    EXPECT_THAT(errorOf(std::string(kOpen) + "<s:Schema id='RowsetSchema'/><rs:data/></xml>"),
                HasSubstr("no row type"));
    EXPECT_THAT(errorOf(""), HasSubstr("empty"));
    EXPECT_THAT(errorOf("OK"), HasSubstr("not a persisted record set"));
}

TEST(RecordSetReader, RefusesValuesThatDoNotReadAsTheirType) {
    const auto valueError = [](const std::string& type, const std::string& value) {
        return errorOf(document(column("v", 1, type), "<z:row v='" + value + "'/>"));
    };
    EXPECT_THAT(valueError("int", "12abc"), HasSubstr("\"12abc\" of column \"v\" is not a int"));
    EXPECT_THAT(valueError("int", ""), HasSubstr("is not a int"));
    EXPECT_THAT(valueError("i8", "9223372036854775808"), HasSubstr("is not a i8"));
    EXPECT_THAT(valueError("ui4", "-1"), HasSubstr("is not a ui4"));
    EXPECT_THAT(valueError("r8", "1,5"), HasSubstr("is not a r8"));
    EXPECT_THAT(valueError("boolean", "yes"), HasSubstr("is not a boolean"));
    EXPECT_THAT(valueError("dateTime", "2024-13-01T00:00:00"), HasSubstr("is not a dateTime"));
    EXPECT_THAT(valueError("dateTime", "2023-02-29"), HasSubstr("is not a dateTime"));
    EXPECT_THAT(valueError("dateTime", "05.03.2024"), HasSubstr("is not a dateTime"));
    EXPECT_THAT(valueError("time", "25:00:00"), HasSubstr("is not a time"));
}

}  // namespace
