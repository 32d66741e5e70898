// How raw bytes become property values: UTF-8 repair, trimming, firmware fillers, quoting.
#include <sys/stat.h>

#include <gmock/gmock.h>

#include "instr_test_support.h"
#include "platform/instrumentation/linux/providers.h"
#include "platform/instrumentation/linux/pci_names.h"
#include "platform/instrumentation/linux/sysfs_reader.h"

using namespace platform::instr;
using instrtest::Rows;
using instrtest::TempTree;
using std::nullopt;

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

TEST(Utf8Repair, KeepsWellFormedTextAndReplacesEachBrokenSequenceOnce) {
    EXPECT_EQ(repairUtf8("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x96\xA8"), "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x96\xA8");
    EXPECT_EQ(repairUtf8("Caf\xE9"), "Caf\xEF\xBF\xBD");                       // Latin-1 byte
    EXPECT_EQ(repairUtf8("\xE2\x82" "x"), "\xEF\xBF\xBDx");                      // cut short
    EXPECT_EQ(repairUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");               // overlong
    EXPECT_EQ(repairUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
    EXPECT_EQ(repairUtf8("\xF4\x90\x80\x80"), kBad + kBad + kBad + kBad);       // beyond U+10FFFF
    EXPECT_EQ(repairUtf8("\x80" "a\xFF"), "\xEF\xBF\xBD" "a\xEF\xBF\xBD");
    EXPECT_EQ(repairUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cleaning, DropsControlsAnywhereKeepsWordsApartAndTrimsTrailingBlanks) {
    EXPECT_EQ(cleanText("  LENOVO \t\r\n"), "  LENOVO");
    EXPECT_EQ(cleanText(std::string("model\0\0", 7)), "model");
    EXPECT_EQ(cleanText("name\x1b\x7f"), "name");
    EXPECT_EQ(cleanText("name\xC2\x85"), "name");  // NEL, a C1 control
    EXPECT_EQ(cleanText("a b\tc"), "a b c");
    EXPECT_EQ(cleanText(std::string("P\x03H\0X\x1b[1m\xC2\x9Fy", 12)), "PHX[1my");
    EXPECT_EQ(cleanText("line\none\r\ntwo"), "line one  two");
    EXPECT_EQ(cleanText("\xC3\xA9\n"), "\xC3\xA9");
    EXPECT_EQ(cleanText(" \n\r"), "");
}

TEST(FirmwarePlaceholders, AreRecognisedWhateverTheirCaseAndBlanks) {
    for (const char* filler : {"To Be Filled By O.E.M.", "to be filled by o.e.m.", "System Product Name",
                               "System manufacturer", "Default string", "Not Specified", "Not Applicable",
                               "O.E.M.", "None", "Type1ProductConfigId", "", "   ", " Default string "}) {
        EXPECT_TRUE(isFirmwarePlaceholder(filler)) << filler;
    }
    for (const char* real : {"LENOVO", "Dell Inc.", "System Product Name 2", "Nonesuch", "OEM"}) {
        EXPECT_FALSE(isFirmwarePlaceholder(real)) << real;
    }
}

TEST(OsReleaseQuoting, FollowsTheShellsRules) {
    EXPECT_EQ(unquoteOsReleaseValue(R"x("Debian GNU/Linux 12 (bookworm)")x"), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(unquoteOsReleaseValue("'single $quoted \\n'"), "single $quoted \\n");
    EXPECT_EQ(unquoteOsReleaseValue(R"("a \"b\" \\ \$c \`d\` \e")"), R"(a "b" \ $c `d` \e)");
    EXPECT_EQ(unquoteOsReleaseValue(R"(plain\ word)"), "plain word");
    EXPECT_EQ(unquoteOsReleaseValue("bookworm  \r"), "bookworm");
    EXPECT_EQ(unquoteOsReleaseValue(R"("unterminated)"), "unterminated");
}

TEST(PciIds, ParseFromSysfsTextAndPrintAsFourDigits) {
    EXPECT_EQ(parseHexId("0x8086\n"), 0x8086u);
    EXPECT_EQ(parseHexId("10DE"), 0x10deu);
    EXPECT_EQ(parseHexId("0bda"), 0x0bdau);
    EXPECT_EQ(parseHexId("0x12345"), nullopt);
    EXPECT_EQ(parseHexId("0x"), nullopt);
    EXPECT_EQ(parseHexId("80g6"), nullopt);
    EXPECT_EQ(hexIds(0x8086, 0x5916), "8086:5916");
    EXPECT_EQ(hexIds(0xbda, 0x8153), "0bda:8153");
}

TEST(PciIds, NamesFromTheListOrTheIdsWhenNoneIsKnown) {
    PciNames names;
    EXPECT_EQ(names.name(0x8086, 0x5916), "Intel Corporation HD Graphics 620");
    EXPECT_EQ(names.name(0x8086, 0xfff1), "Intel Corporation Device fff1");
    EXPECT_EQ(names.name(0xf00d, 0x0001), "f00d:0001");
}

TEST(PciIds, ATreeWithItsOwnListUsesOnlyThatList) {
    TempTree tree;
    tree.write("/usr/share/misc/pci.ids", "f00d  Vantrel Test Devices\n\t0001  Probe Display\n");
    PciNames names(tree.host("/usr/share/misc/pci.ids"));
    EXPECT_EQ(names.name(0xf00d, 0x0001), "Vantrel Test Devices Probe Display");
    EXPECT_EQ(names.name(0x8086, 0x5916), "8086:5916");
}

TEST(PrintersConf, ReadsQueuesAndTheirMakeAndModel) {
    const auto printers = parsePrintersConf(
        "# Written by cupsd\n"
        "<Printer zebra>\n"
        "MakeModel Zebra ZPL Label Printer  \n"
        "</Printer>\n"
        "<DefaultPrinter Alpha>\n"
        "Info no model here\n"
        "</DefaultPrinter>\n"
        "<Class everyone>\n"
        "MakeModel Local Printer Class\n"
        "</Class>\n"
        "MakeModel stray line outside any queue\n"
        "<Printer beta>\r\n"
        "  MakeModel   Beta \xE9 Laser\r\n"
        "</Printer>\n");
    ASSERT_EQ(printers.size(), 3u);
    EXPECT_EQ(printers[0].name, "Alpha");
    EXPECT_EQ(printers[0].makeAndModel, nullopt);
    EXPECT_EQ(printers[1].name, "beta");
    EXPECT_EQ(printers[1].makeAndModel, "Beta \xEF\xBF\xBD Laser");
    EXPECT_EQ(printers[2].name, "zebra");
    EXPECT_EQ(printers[2].makeAndModel, "Zebra ZPL Label Printer");
}

class TreeLinks : public testing::Test {
protected:
    TempTree tree;
};

TEST_F(TreeLinks, RelativeAndAbsoluteLinksStayInsideTheTree) {
    tree.write("/sys/devices/x/value", "inside\n");
    tree.link("/sys/class/rel", "../devices/x");
    tree.link("/sys/class/abs", "/sys/devices/x");
    tree.link("/sys/class/up", "../../../../../../sys/devices/x");
    SysRoot root(tree.root());
    EXPECT_EQ(root.resolve("/sys/class/rel/value"), "/sys/devices/x/value");
    EXPECT_EQ(root.readText("/sys/class/rel/value"), "inside");
    EXPECT_EQ(root.readText("/sys/class/abs/value"), "inside");
    EXPECT_EQ(root.readText("/sys/class/up/value"), "inside");
    EXPECT_EQ(root.linkName("/sys/class/abs"), "x");
    EXPECT_EQ(root.linkName("/sys/devices/x/value"), nullopt);
}

TEST_F(TreeLinks, ALinkLoopReadsAsMissing) {
    tree.link("/a", "b");
    tree.link("/b", "a");
    SysRoot root(tree.root());
    EXPECT_EQ(root.readText("/a/file"), nullopt);
    EXPECT_TRUE(root.list("/a").empty());
}

TEST_F(TreeLinks, NonRegularFilesAreNotRead) {
    tree.mkdir("/sys/class/dmi/id/sys_vendor");
    SysRoot root(tree.root());
    EXPECT_EQ(root.readText("/sys/class/dmi/id/sys_vendor"), nullopt);
    ASSERT_EQ(::mkfifo(tree.host("/fifo").c_str(), 0600), 0);
    EXPECT_EQ(root.readBytes("/fifo"), nullopt);  // would block if it were opened for reading
}

TEST(TreeRoot, IsNormalised) {
    EXPECT_EQ(SysRoot("").root(), "/");
    EXPECT_TRUE(SysRoot("/").isLive());
    EXPECT_EQ(SysRoot("/tmp/x/../y/./").root(), "/tmp/y");
    EXPECT_FALSE(SysRoot("/tmp/y").isLive());
}
