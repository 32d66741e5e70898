// Loading a hive file from disk: missing, unreadable and malformed files.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/linux/system_registry.h"
#include "tests/support/scratch_dir.h"

using namespace platform;

namespace {

const std::string kFixtures = std::string(VANTREL_FIXTURES_DIR) + "/registry/";

}  // namespace

TEST(RegFileLoading, ABrokenLineIsReportedAndSkippedAndTheRestKept) {
    std::ostringstream diagnostics;
    const auto hive = loadRegFile(kFixtures + "malformed.reg", diagnostics);
    const auto* key = hive->findSubkey("SOFTWARE");
    ASSERT_NE(key, nullptr);
    key = key->findSubkey("Vantrel");
    ASSERT_NE(key, nullptr);
    ASSERT_NE(key->findValue("ServerPath"), nullptr);
    EXPECT_EQ(key->findValue("Answer"), nullptr);
    EXPECT_NE(diagnostics.str().find(kFixtures + "malformed.reg:5: "), std::string::npos) << diagnostics.str();
    EXPECT_NE(diagnostics.str().find("dword"), std::string::npos) << diagnostics.str();
}

TEST(RegFileLoading, ValuesAfterABrokenKeyLineGoNowhereAndLaterKeysAreRead) {
    ScratchDir dir;
    const std::string path = (dir.path() / "broken.reg").string();
    std::ofstream(path, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                             "[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"1\"\r\n"
                                             "[HKEY_LOCAL_MACHINE\\B\r\n\"lost\"=\"2\"\r\n"
                                             "garbage \x01\xff\r\n\"bad\"=dword:zz\r\n"
                                             "[HKEY_LOCAL_MACHINE\\C]\r\n\"c\"=dword:00000003\r\n";
    std::ostringstream diagnostics;
    const auto hive = loadRegFile(path, diagnostics);
    ASSERT_NE(hive->findSubkey("A"), nullptr);
    EXPECT_NE(hive->findSubkey("A")->findValue("a"), nullptr);
    EXPECT_EQ(hive->findSubkey("A")->findValue("lost"), nullptr);
    EXPECT_EQ(hive->findSubkey("B"), nullptr);
    ASSERT_NE(hive->findSubkey("C"), nullptr);
    EXPECT_NE(hive->findSubkey("C")->findValue("c"), nullptr);
    for (const char* line : {":5: ", ":7: ", ":8: "})
        EXPECT_NE(diagnostics.str().find(path + line), std::string::npos) << line << diagnostics.str();
}

TEST(RegFileLoading, AFileWithoutTheHeaderIsIgnoredWhole) {
    ScratchDir dir;
    const std::string path = (dir.path() / "noheader.reg").string();
    std::ofstream(path, std::ios::binary) << "[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n";
    std::ostringstream diagnostics;
    EXPECT_TRUE(loadRegFile(path, diagnostics)->subkeys().empty());
    EXPECT_NE(diagnostics.str().find(path + ":1: "), std::string::npos) << diagnostics.str();
}

TEST(RegFileLoading, AMissingFileIsSilentlyEmptyButAnUnreadableOneIsReported) {
    ScratchDir dir;
    std::ostringstream quiet;
    EXPECT_TRUE(loadRegFile((dir.path() / "none.reg").string(), quiet)->subkeys().empty());
    EXPECT_TRUE(loadRegFile((dir.path() / "no" / "such.reg").string(), quiet)->subkeys().empty());
    EXPECT_EQ(quiet.str(), "");

    std::ostringstream loud;
    EXPECT_TRUE(loadRegFile(dir.path().string(), loud)->subkeys().empty());  // a folder
    EXPECT_NE(loud.str().find(dir.path().string()), std::string::npos) << loud.str();
}
