// Loading a hive file from disk: missing, unreadable and malformed files.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/registry/linux/system_registry.h"
#include "tests/support/scratch_dir.h"

using namespace platform;

namespace {

const std::string kFixtures = std::string(VANTREL_FIXTURES_DIR) + "/registry/";

}  // namespace

TEST(RegFileLoading, AMalformedFileIsReportedWithItsLineAndGivesAnEmptyHive) {
    std::ostringstream diagnostics;
    const auto hive = loadRegFile(kFixtures + "malformed.reg", diagnostics);
    EXPECT_TRUE(hive->subkeys().empty());
    EXPECT_TRUE(hive->values().empty());
    EXPECT_NE(diagnostics.str().find(kFixtures + "malformed.reg:5: "), std::string::npos) << diagnostics.str();
    EXPECT_NE(diagnostics.str().find("dword"), std::string::npos) << diagnostics.str();
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
