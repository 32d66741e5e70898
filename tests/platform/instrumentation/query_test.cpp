// Monikers and query texts.
#include <gmock/gmock.h>

#include "platform/common/errors.h"
#include "platform/instrumentation/query.h"

using platform::PlatformError;
using platform::instr::isLocalCimv2Moniker;
using platform::instr::parseQuery;
using testing::ElementsAre;

TEST(Moniker, AcceptsTheLocalNamespaceHoweverItIsSpelled) {
    EXPECT_TRUE(isLocalCimv2Moniker(R"(winmgmts:\\.\root\cimv2)"));
    EXPECT_TRUE(isLocalCimv2Moniker(R"(winmgmts:\\.\ROOT\CIMV2)"));
    EXPECT_TRUE(isLocalCimv2Moniker(R"(WinMgmts:\\.\Root\CimV2)"));
    EXPECT_TRUE(isLocalCimv2Moniker(R"(winmgmts:root\cimv2)"));
    EXPECT_TRUE(isLocalCimv2Moniker("winmgmts://./root/cimv2"));
    EXPECT_TRUE(isLocalCimv2Moniker("winmgmts:root/CIMV2"));
}

TEST(Moniker, RejectsOtherNamespacesMachinesAndSchemes) {
    for (const char* moniker : {R"(winmgmts:\\.\root\default)", R"(winmgmts:\\server\root\cimv2)",
                                R"(winmgmts:\\.\root\cimv2\sub)", R"(winmgmts:\\.\root)", "winmgmts:",
                                R"(\\.\root\cimv2)", R"(mgmt:\\.\root\cimv2)", R"( winmgmts:\\.\root\cimv2)",
                                ""}) {
        EXPECT_FALSE(isLocalCimv2Moniker(moniker)) << moniker;
    }
}

TEST(QueryText, ReadsTheSelectListAndClassAsWritten) {
    auto q = parseQuery("Select Name, DriverVersion from win32_VideoController");
    EXPECT_FALSE(q.allProperties);
    EXPECT_THAT(q.properties, ElementsAre("Name", "DriverVersion"));
    EXPECT_EQ(q.className, "win32_VideoController");

    q = parseQuery("SELECT Manufacturer,Model FROM win32_ComputerSystem");
    EXPECT_THAT(q.properties, ElementsAre("Manufacturer", "Model"));

    q = parseQuery("  select\tName ,\n CSDVersion  from  win32_OperatingSystem \n");
    EXPECT_THAT(q.properties, ElementsAre("Name", "CSDVersion"));
    EXPECT_EQ(q.className, "win32_OperatingSystem");
}

TEST(QueryText, ReadsSelectStar) {
    auto q = parseQuery("select * from Win32_BIOS");
    EXPECT_TRUE(q.allProperties);
    EXPECT_TRUE(q.properties.empty());
    EXPECT_EQ(q.className, "Win32_BIOS");
    EXPECT_TRUE(parseQuery("select*from win32_BIOS").allProperties);
}

TEST(QueryText, RejectsWhatIsNotASimpleSelect) {
    for (const char* bad : {"", "select", "select Name", "select Name from", "select from win32_BIOS",
                            "select , Name from win32_BIOS", "select Name, from win32_BIOS",
                            "select Name,, Model from win32_BIOS", "select Name Model from win32_BIOS",
                            "select *, Name from win32_BIOS", "select Name, * from win32_BIOS",
                            "select Name from win32_BIOS where Name = 'x'", "select Name from win32_BIOS;",
                            "select Name from a b", "update win32_BIOS", "selectName from win32_BIOS",
                            "select Name from 9class", "select Na-me from win32_BIOS",
                            "select Name from win32_BIOS\x01"}) {
        EXPECT_THROW(parseQuery(bad), PlatformError) << bad;
    }
}
