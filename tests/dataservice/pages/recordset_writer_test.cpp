// The record-set writer, read back by the collector's own reader.
#include <pugixml.hpp>

#include "dataservice/pages/recordset_writer.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

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

}  // namespace
}  // namespace dataservice::testing
