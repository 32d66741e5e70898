// The installed-software step: software texts, skipped entries, long values, enumeration statuses,
// and the registry readers on their own.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "inventory/installed_software.h"
#include "tests/inventory/run_harness.h"

namespace {

using inventorytest::RunHarness;
using inventorytest::Sent;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> SoftwareSent(const RunHarness& h) {
    std::vector<std::string> out;
    for (const Sent& s : h.To("sftdata.asp")) out.push_back(s.address);
    return out;
}

class SoftwareStep : public ::testing::Test {
protected:
    RunHarness h;
    std::vector<std::string> atYield;  // the progress line as each yield finds it
    void Run() {
        h.fake.ui.onDoEvents = [this] { atYield.push_back(h.Progress()); };
        h.Run();
    }
};

TEST_F(SoftwareStep, NameAndVersionMakeTheSoftwareText) {
    h.AddProgram("a", "Editor", "2.1");
    h.AddProgram("b", "Editor", "");
    h.AddProgram("c", "Editor", std::nullopt);
    Run();
    EXPECT_THAT(SoftwareSent(h), ElementsAre(h.Software("Editor v2.1"), h.Software("Editor"), h.Software("Editor")));
    EXPECT_EQ(h.To("sftdata.asp")[0].address,
              h.state.ServerPath + "sftdata.asp?UID=alice&qIS=Editor%20v2.1&PWD=pa%20ss%26word");
}

TEST_F(SoftwareStep, AnEntryWithoutDisplayNameSendsNothingAndTheLastProgramStaysShown) {
    h.AddProgram("a", std::nullopt, "9.9");  // nothing sent yet: the fixed text alone
    h.AddProgram("b", "Editor", "2.1");
    h.AddProgram("c", "", "1.0");
    h.AddProgram("d", "Viewer", std::nullopt);
    Run();
    EXPECT_THAT(SoftwareSent(h), ElementsAre(h.Software("Editor v2.1"), h.Software("Viewer")));
    ASSERT_GE(atYield.size(), 4u);
    EXPECT_EQ(atYield[1], "Uploading Software Information...");  // after "a"
    EXPECT_EQ(atYield[2], "Uploading Software Information...Editor v2.1");
    EXPECT_EQ(atYield[3], "Uploading Software Information...Editor v2.1");  // "c" skipped
    EXPECT_EQ(h.Progress(), "Your Hardware and Software Collection Is Complete");
}

TEST_F(SoftwareStep, DuplicatesAreSentTwiceInIndexOrder) {
    h.AddProgram("x", "Same", "1");
    h.AddProgram("y", "Same", "1");
    Run();
    EXPECT_THAT(SoftwareSent(h), ElementsAre(h.Software("Same v1"), h.Software("Same v1")));
    EXPECT_EQ(atYield.size(), 2u);  // one yield per index, no hardware
}

TEST_F(SoftwareStep, LongValuesAreReadWhole) {
    const std::string name(300, 'N');
    const std::string version(270, '7');
    h.AddProgram("long", name, std::nullopt);
    h.AddProgram("longer", "Tool", version);
    Run();
    EXPECT_THAT(SoftwareSent(h), ElementsAre(h.Software(name), h.Software("Tool v" + version)));
}

TEST_F(SoftwareStep, StatusMoreDataIsProcessedAndOtherStatusesSkipTheIndex) {
    h.AddProgram("a", "Alpha", std::nullopt);
    h.AddProgram("b", "Beta", std::nullopt);
    h.AddProgram("c", "Gamma", std::nullopt);
    h.AddProgram("d", "Delta", std::nullopt);
    h.fake.registry.enumStatus[0] = platform::ERROR_MORE_DATA;
    h.fake.registry.enumStatus[1] = platform::ERROR_NO_MORE_ITEMS;
    h.fake.registry.enumStatus[2] = platform::ERROR_ACCESS_DENIED;
    Run();
    EXPECT_THAT(SoftwareSent(h), ElementsAre(h.Software("Alpha"), h.Software("Delta")));
    EXPECT_EQ(atYield.size(), 4u);  // a skipped index still yields
    EXPECT_EQ(atYield[2], "Uploading Software Information...Alpha");
}

TEST_F(SoftwareStep, AListThatDoesNotOpenSendsNoSoftwareAndTheRunGoesOn) {
    h.AddInstance("win32_networkadapter", {{"Name", "eth0"}});
    Run();
    EXPECT_THAT(SoftwareSent(h), IsEmpty());
    ASSERT_EQ(h.sent.size(), 3u);  // reset, network card, finalize
    EXPECT_EQ(h.sent[1].address, h.Upload(service::Upload::NetworkCard, {"eth0"}));
    EXPECT_EQ(h.sent[1].progress, "Uploading Network Card Information...eth0");
    EXPECT_EQ(atYield.size(), 1u);
    EXPECT_EQ(atYield[0], "Uploading Software Information...");
}

TEST_F(SoftwareStep, EveryKeyOpenedIsClosed) {
    h.AddProgram("a", "Alpha", "1");
    h.AddProgram("b", std::nullopt, std::nullopt);
    Run();
    EXPECT_EQ(h.fake.registry.openHandles, 0);
}

TEST(SoftwareStepEvaluating, AnEvaluatingUserSendsToTheTwinWithoutPassword) {
    RunHarness h;
    h.state.IsSubscriber = false;
    h.AddProgram("a", "Editor", "2.1");
    h.Run();
    ASSERT_EQ(h.To("evalsftdata.asp").size(), 1u);
    EXPECT_EQ(h.To("evalsftdata.asp")[0].address, h.state.ServerPath + "evalsftdata.asp?UID=Eval0C3F9&qIS=Editor%20v2.1");
}

// A value whose size changes between asking and reading, `changes` times.
class ShiftingRegistry : public fakes::Registry {
public:
    std::string path, name;
    int changes = 0;
    int queries = 0;
    int grown = 0;
    std::int32_t QueryValueEx(platform::HKey key, const std::string& valueName, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) override {
        ++queries;
        const std::int32_t status = fakes::Registry::QueryValueEx(key, valueName, type, data, size);
        if (!data && changes > 0) {
            --changes;
            SetString(path, name, std::string(10 * ++grown + 10, 'g'));
        }
        return status;
    }
};

class RegistryReaders : public ::testing::Test {
protected:
    ShiftingRegistry reg;
    platform::HKey key = 0;
    void SetUp() override {
        reg.path = "SOFTWARE\\Test";
        reg.name = "V";
        reg.SetString(reg.path, "V", "short");
        key = inventory::OpenRegistryKey(reg, platform::HKEY_LOCAL_MACHINE, reg.path);
        ASSERT_NE(key, 0u);
    }
    void TearDown() override { reg.CloseKey(key); }
};

TEST_F(RegistryReaders, AValueThatGrowsWhileBeingReadIsReadAgain) {
    reg.changes = 1;
    EXPECT_EQ(inventory::ReadRegistryString(reg, key, "V"), std::string(20, 'g'));
    EXPECT_EQ(reg.queries, 4);
}

TEST_F(RegistryReaders, AValueThatNeverSettlesGivesUpEmpty) {
    reg.changes = 1000;
    EXPECT_EQ(inventory::ReadRegistryString(reg, key, "V"), "");
    EXPECT_LE(reg.queries, 20);
}

TEST_F(RegistryReaders, BytesAreTakenAsTextUpToTheFirstNulWhateverTheType) {
    reg.SetRaw(reg.path, "Embedded", platform::REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    reg.SetRaw(reg.path, "Unterminated", platform::REG_BINARY, "abc");
    reg.SetRaw(reg.path, "Expand", platform::REG_EXPAND_SZ, std::string("%HOME%\\x\0", 9));
    reg.SetRaw(reg.path, "Empty", platform::REG_SZ, "");
    EXPECT_EQ(inventory::ReadRegistryString(reg, key, "Embedded"), "one");
    EXPECT_EQ(inventory::ReadRegistryString(reg, key, "Unterminated"), "abc");
    EXPECT_EQ(inventory::ReadRegistryString(reg, key, "Expand"), "%HOME%\\x");
    EXPECT_EQ(inventory::ReadRegistryString(reg, key, "Empty"), "");
    EXPECT_EQ(inventory::ReadRegistryString(reg, key, "Missing"), "");
    EXPECT_EQ(inventory::ReadRegistryString(reg, 0, "V"), "");
}

TEST(RegistryHelpers, OpenTrimAndReadEntry) {
    fakes::Registry reg;
    reg.SetString("SOFTWARE\\List\\App", "DisplayName", "App");
    reg.SetString("SOFTWARE\\List\\App", "DisplayVersion", "3");
    EXPECT_EQ(inventory::OpenRegistryKey(reg, platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere"), 0u);
    EXPECT_EQ(inventory::TrimAtNull(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(inventory::TrimAtNull("plain"), "plain");
    EXPECT_EQ(inventory::TrimAtNull(std::string("\0x", 2)), "");

    const inventory::UninstallEntry entry = inventory::ReadUninstallEntry(reg, "SOFTWARE\\List", "App");
    EXPECT_EQ(entry.DisplayName, "App");
    EXPECT_EQ(entry.DisplayVersion, "3");
    const inventory::UninstallEntry missing = inventory::ReadUninstallEntry(reg, "SOFTWARE\\List", "Gone");
    EXPECT_EQ(missing.DisplayName, "");
    EXPECT_EQ(missing.DisplayVersion, "");
    EXPECT_EQ(reg.openHandles, 0);
}

}  // namespace
