// The Win32 registry backend on the 64-bit view: uninstall entries added with reg.exe, read back
// through the run's own installed-software step, and the status codes the run's loop relies on.
#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "inventory/installed_software.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/windows/reg_tool.h"

namespace {

using ::testing::ElementsAreArray;

const std::wstring kUninstall = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kUninstallPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kScratch = "SOFTWARE\\VantrelTest";

// Records what the step sends; the software text is the upload's only data value.
class Recorder : public inventory::RunSteps {
public:
    std::vector<std::string> sent;
    void Send(const service::Request& request) override {
        for (const auto& [key, value] : request.query)
            if (key == "qIS") sent.push_back(value);
    }
    void Yield() override {}
    void SetProgressText(const std::string&) override {}
};

std::wstring Long(std::size_t n) { return std::wstring(n, L'N'); }

class UninstallFixtures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        using wintest::RegAdd;
        const std::wstring k = kUninstall;
        ASSERT_EQ(RegAdd(k + L"VantrelTest1", L"DisplayName", L"REG_SZ", L"Editor"), 0);
        ASSERT_EQ(RegAdd(k + L"VantrelTest1", L"DisplayVersion", L"REG_SZ", L"2.1"), 0);
        ASSERT_EQ(RegAdd(k + L"VantrelTest2", L"DisplayName", L"REG_SZ", L"Viewer"), 0);  // no version
        ASSERT_EQ(RegAdd(k + L"VantrelTest3", L"DisplayName", L"REG_EXPAND_SZ", L"%ProgramFiles%\\Tool"), 0);
        ASSERT_EQ(RegAdd(k + L"VantrelTest3", L"DisplayVersion", L"REG_EXPAND_SZ", L"%Version%"), 0);
        ASSERT_EQ(RegAdd(k + L"VantrelTest4", L"DisplayName", L"REG_SZ", Long(300)), 0);
        ASSERT_EQ(RegAdd(k + L"VantrelTest4", L"DisplayVersion", L"REG_SZ", L"1"), 0);
        ASSERT_EQ(RegAdd(k + L"VantrelTest5", L"DisplayVersion", L"REG_SZ", L"9.9"), 0);  // no name
        ASSERT_EQ(RegAdd(k + L"VantrelTest6", L"DisplayName", L"REG_SZ", L"Caf\u00e9 & Co"), 0);
        ASSERT_EQ(RegAdd(k + L"VantrelTest7", L"DisplayName", L"REG_DWORD", L"7"), 0);  // bytes taken as text
        lockedKey = wintest::LockKey(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelTest8");
        ASSERT_EQ(RegAdd(L"HKLM\\SOFTWARE\\VantrelTest\\Sub", L"Text", L"REG_SZ", L"twelve chars"), 0);
    }
    static void TearDownTestSuite() {
        for (int i = 1; i <= 7; ++i) wintest::RegDelete(kUninstall + L"VantrelTest" + std::to_wstring(i));
        wintest::RegDelete(L"HKLM\\SOFTWARE\\VantrelTest");
    }
    static inline bool lockedKey = false;
    std::unique_ptr<platform::Registry> registry = platform::makeSystemRegistry();
};

TEST_F(UninstallFixtures, TheRunsStepSendsEachNamedEntryAsTheLinuxHiveWould) {
    Recorder steps;
    inventory::UploadInstalledSoftware(*registry, service::Identity{true, "alice", "pw", ""}, steps);
    std::vector<std::string> ours;
    const std::vector<std::string> fixtures = {"Editor v2.1",
                                               "Viewer",
                                               "%ProgramFiles%\\Tool v%Version%",
                                               std::string(300, 'N') + " v1",
                                               "Caf\xC3\xA9 & Co",
                                               std::string("\x07")};
    for (const std::string& text : steps.sent)
        if (std::find(fixtures.begin(), fixtures.end(), text) != fixtures.end()) ours.push_back(text);
    // Index order is name order: VantrelTest1 .. 7; 5 has no name, 8 does not open.
    EXPECT_THAT(ours, ElementsAreArray(fixtures));
}

TEST_F(UninstallFixtures, AKeyThatCannotBeOpenedGivesItsStatusAndAnEmptyEntry) {
    ASSERT_TRUE(lockedKey) << "could not set the key's security";
    platform::HKey key = 0;
    // Windows and Wine alike check the key's DACL on open, even for an administrator.
    EXPECT_EQ(registry->OpenKeyEx(platform::HKEY_LOCAL_MACHINE, std::string(kUninstallPath) + "\\VantrelTest8", 0,
                                  platform::KEY_READ, key),
              platform::ERROR_ACCESS_DENIED);
    EXPECT_EQ(inventory::ReadUninstallEntry(*registry, kUninstallPath, "VantrelTest8").DisplayName, "");
}

struct StatusCase {
    const char* name;
    std::int32_t (*call)(platform::Registry&, platform::HKey sub);
    std::int32_t status;
};

std::ostream& operator<<(std::ostream& os, const StatusCase& c) { return os << c.name; }

const StatusCase kStatusCases[] = {
    {"MissingKey",
     [](platform::Registry& r, platform::HKey) {
         platform::HKey k = 0;
         return r.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\VantrelTest\\Nowhere", 0, platform::KEY_READ, k);
     },
     platform::ERROR_FILE_NOT_FOUND},
    {"MissingValue",
     [](platform::Registry& r, platform::HKey sub) {
         std::uint32_t size = 0;
         return r.QueryValueEx(sub, "Nothing", nullptr, nullptr, &size);
     },
     platform::ERROR_FILE_NOT_FOUND},
    {"ValueBufferTooSmall",
     [](platform::Registry& r, platform::HKey sub) {
         std::uint8_t small[4];
         std::uint32_t size = sizeof small;
         const std::int32_t s = r.QueryValueEx(sub, "Text", nullptr, small, &size);
         return size == 13 ? s : -1;  // "twelve chars" and its NUL, in UTF-8
     },
     platform::ERROR_MORE_DATA},
    {"ValueFits",
     [](platform::Registry& r, platform::HKey sub) {
         std::uint8_t room[64];
         std::uint32_t size = sizeof room, type = 0;
         const std::int32_t s = r.QueryValueEx(sub, "Text", &type, room, &size);
         return type == platform::REG_SZ && size == 13 && std::string(reinterpret_cast<char*>(room)) == "twelve chars"
                    ? s
                    : -1;
     },
     platform::ERROR_SUCCESS},
    {"EnumPastTheEnd",
     [](platform::Registry& r, platform::HKey) {
         platform::HKey parent = 0;
         r.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, kScratch, 0, platform::KEY_READ, parent);
         char name[16];
         std::uint32_t size = sizeof name;
         const std::int32_t s = r.EnumKeyEx(parent, 1, name, &size);
         r.CloseKey(parent);
         return s;
     },
     platform::ERROR_NO_MORE_ITEMS},
    {"EnumNameTooLong",
     [](platform::Registry& r, platform::HKey) {
         platform::HKey parent = 0;
         r.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, kScratch, 0, platform::KEY_READ, parent);
         char name[3];
         std::uint32_t size = sizeof name;
         const std::int32_t s = r.EnumKeyEx(parent, 0, name, &size);
         r.CloseKey(parent);
         return s;
     },
     platform::ERROR_MORE_DATA},
    {"EnumNameFits",
     [](platform::Registry& r, platform::HKey) {
         platform::HKey parent = 0;
         r.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, kScratch, 0, platform::KEY_READ, parent);
         std::uint32_t count = 0, longest = 0;
         r.QueryInfoKey(parent, &count, &longest);
         std::string name(longest + 1, ' ');
         std::uint32_t size = longest + 1;
         const std::int32_t s = r.EnumKeyEx(parent, 0, name.data(), &size);
         r.CloseKey(parent);
         return count == 1 && size == 3 && name.substr(0, 4) == std::string("Sub\0", 4) ? s : -1;
     },
     platform::ERROR_SUCCESS},
};

class RegistryStatus : public UninstallFixtures, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(RegistryStatus, PassesTheSystemsStatusThrough) {
    platform::HKey sub = 0;
    ASSERT_EQ(registry->OpenKeyEx(platform::HKEY_LOCAL_MACHINE, std::string(kScratch) + "\\Sub", 0,
                                  platform::KEY_READ, sub),
              platform::ERROR_SUCCESS);
    EXPECT_EQ(GetParam().call(*registry, sub), GetParam().status);
    EXPECT_EQ(registry->CloseKey(sub), platform::ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Calls, RegistryStatus, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
