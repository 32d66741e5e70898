// Monikers, query texts, and what a query lets its instances answer.
#include <gmock/gmock.h>

#include "instr_test_support.h"
#include "platform/common/errors.h"
#include "platform/instrumentation/query.h"
#include "platform/instrumentation/linux/system_instrumentation.h"

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

TEST(Moniker, ConnectThrowsForAnythingButTheLocalNamespace) {
    auto instrumentation = platform::makeInstrumentationAt(instrtest::machine("laptop"));
    EXPECT_NO_THROW(instrumentation->Connect(instrtest::kMoniker));
    EXPECT_THROW(instrumentation->Connect(R"(winmgmts:\\.\root\security)"), PlatformError);
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

class QueryOnLaptop : public testing::Test {
protected:
    std::unique_ptr<platform::InstrumentationServices> services =
        platform::makeInstrumentationAt(instrtest::machine("laptop"))->Connect(instrtest::kMoniker);
};

TEST_F(QueryOnLaptop, ClassAndPropertyNamesIgnoreCase) {
    auto result = services->ExecQuery("SELECT name FROM WIN32_SOUNDDEVICE");
    auto sound = result->Next();
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->Get("Name"), "HDA Intel PCH");
    EXPECT_EQ(sound->Get("NAME"), "HDA Intel PCH");
}

TEST_F(QueryOnLaptop, UnknownClassOrPropertyFailsTheQuery) {
    EXPECT_THROW(services->ExecQuery("select Name from win32_Processor"), PlatformError);
    EXPECT_THROW(services->ExecQuery("select Name, Colour from win32_VideoController"), PlatformError);
    EXPECT_THROW(services->ExecQuery("select Name where"), PlatformError);
}

TEST_F(QueryOnLaptop, OnlySelectedPropertiesCanBeRead) {
    auto result = services->ExecQuery("select Model from win32_ComputerSystem");
    auto computer = result->Next();
    ASSERT_TRUE(computer);
    EXPECT_EQ(computer->Get("Model"), "20HRCTO1WW");
    EXPECT_THROW(computer->Get("Manufacturer"), PlatformError);
    EXPECT_THROW(computer->Get("SerialNumber"), PlatformError);
    EXPECT_FALSE(result->Next());
}

TEST_F(QueryOnLaptop, SelectStarOffersEveryPropertyOfTheClass) {
    auto result = services->ExecQuery("select * from win32_VideoController");
    auto video = result->Next();
    ASSERT_TRUE(video);
    EXPECT_EQ(video->Get("Name"), "Intel Corporation HD Graphics 620");
    EXPECT_EQ(video->Get("DriverVersion"), "6.1.0-28-amd64");
    EXPECT_THROW(video->Get("Manufacturer"), PlatformError);
}

TEST_F(QueryOnLaptop, InstancesOutliveTheirResultAndTheEndStaysTheEnd) {
    std::unique_ptr<platform::Instance> os;
    {
        auto result = services->ExecQuery("select Name from win32_OperatingSystem");
        os = result->Next();
        EXPECT_FALSE(result->Next());
        EXPECT_FALSE(result->Next());
    }
    ASSERT_TRUE(os);
    EXPECT_THAT(*os->Get("Name"), testing::StartsWith("Debian GNU/Linux 12 (bookworm)|"));
}

TEST(SystemRoot, TheEnvironmentNamesTheTree) {
    const char* before = std::getenv("VANTREL_SYSROOT");
    const std::string saved = before ? before : "";
    setenv("VANTREL_SYSROOT", instrtest::machine("vm").c_str(), 1);
    auto services = platform::makeSystemInstrumentation()->Connect(instrtest::kMoniker);
    if (before) setenv("VANTREL_SYSROOT", saved.c_str(), 1);
    else unsetenv("VANTREL_SYSROOT");

    auto result = services->ExecQuery("select Name from win32_VideoController");
    auto video = result->Next();
    ASSERT_TRUE(video);
    EXPECT_EQ(video->Get("Name"), "Red Hat, Inc. QXL paravirtual graphic card");
}
