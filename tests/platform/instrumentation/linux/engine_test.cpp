// What a query lets its instances answer, over a fixture machine.
#include <gmock/gmock.h>

#include "instr_test_support.h"
#include "platform/common/errors.h"
#include "platform/instrumentation/linux/system_instrumentation.h"

using platform::PlatformError;

TEST(Moniker, ConnectThrowsForAnythingButTheLocalNamespace) {
    auto instrumentation = platform::makeInstrumentationAt(instrtest::machine("laptop"));
    EXPECT_NO_THROW(instrumentation->Connect(instrtest::kMoniker));
    EXPECT_THROW(instrumentation->Connect(R"(winmgmts:\\.\root\security)"), PlatformError);
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
