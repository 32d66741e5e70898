// The in-memory hive behind the registry calls: paths, values, enumeration, handles and
// mounted views, with the status codes callers rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry/reg_file.h"
#include "platform/registry/hive.h"

using namespace platform;

namespace {

constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

const char* kHive =
    "Windows Registry Editor Version 5.00\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel]\n"
    "\"ServerPath\"=\"http://127.0.0.1/vantrel/\"\n"
    "\"Answer\"=dword:0000002a\n"
    "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\n"
    "\"Bin\"=hex:\n"
    "@=\"abc\"\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\List\\beta]\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\List\\Zeta]\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\List\\_under]\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\List\\Alpha]\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\List\\alpha2]\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\List\\Longest-Name]\n";

class HiveTest : public testing::Test {
protected:
    RegistryHive hive{parseRegFile(kHive)};

    HKey open(const std::string& path, HKey root = HKEY_LOCAL_MACHINE, std::uint32_t access = KEY_READ) {
        HKey key = 0;
        EXPECT_EQ(hive.OpenKeyEx(root, path, 0, access, key), ERROR_SUCCESS) << path;
        return key;
    }

    std::vector<std::string> enumerate(HKey key) {
        std::vector<std::string> names;
        char buf[256];
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t size = sizeof buf;
            const auto rc = hive.EnumKeyEx(key, i, buf, &size);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(rc, ERROR_SUCCESS);
            if (rc != ERROR_SUCCESS) break;
            EXPECT_EQ(size, std::strlen(buf));
            names.emplace_back(buf);
        }
        return names;
    }
};

}  // namespace

TEST_F(HiveTest, OpensPathsRelativeToTheRootOrAnOpenKeyIgnoringCase) {
    const HKey software = open("software");
    const HKey vantrel = open("VANTREL", software);
    const HKey direct = open("Software\\vantrel\\");
    EXPECT_NE(vantrel, direct);  // two handles to one key

    std::uint32_t size = 0;
    EXPECT_EQ(hive.QueryValueEx(vantrel, "serverpath", nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(hive.QueryValueEx(direct, "SERVERPATH", nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 26u);

    const HKey same = open("", vantrel);  // an empty path opens the key again
    EXPECT_EQ(hive.QueryValueEx(same, "ServerPath", nullptr, nullptr, &size), ERROR_SUCCESS);
    for (HKey k : {software, vantrel, direct, same}) EXPECT_EQ(hive.CloseKey(k), ERROR_SUCCESS);
}

TEST_F(HiveTest, MissingKeysBadPathsAndBadHandles) {
    HKey key = 77;
    EXPECT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", 0, KEY_READ, key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Vantrel", 0, KEY_READ, key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hive.OpenKeyEx(0x80000001u, "SOFTWARE", 0, KEY_READ, key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(hive.OpenKeyEx(12345, "SOFTWARE", 0, KEY_READ, key), ERROR_INVALID_HANDLE);

    std::uint32_t n = 0;
    char name[8];
    EXPECT_EQ(hive.QueryValueEx(0, "x", nullptr, nullptr, &n), ERROR_INVALID_HANDLE);
    EXPECT_EQ(hive.QueryInfoKey(0, &n, &n), ERROR_INVALID_HANDLE);
    EXPECT_EQ(hive.EnumKeyEx(0, 0, name, &n), ERROR_INVALID_HANDLE);
}

TEST_F(HiveTest, ClosedHandlesStayInvalid) {
    const HKey a = open("SOFTWARE\\Vantrel");
    const HKey b = open("SOFTWARE\\Vantrel");
    EXPECT_EQ(hive.CloseKey(a), ERROR_SUCCESS);
    EXPECT_EQ(hive.CloseKey(a), ERROR_INVALID_HANDLE);
    std::uint32_t size = 0;
    EXPECT_EQ(hive.QueryValueEx(a, "Answer", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    HKey c = 0;
    EXPECT_EQ(hive.OpenKeyEx(a, "", 0, KEY_READ, c), ERROR_INVALID_HANDLE);
    // The other handle to the same key is untouched, and a new one is not the old number.
    EXPECT_EQ(hive.QueryValueEx(b, "Answer", nullptr, nullptr, &size), ERROR_SUCCESS);
    const HKey d = open("SOFTWARE\\Vantrel");
    EXPECT_NE(d, a);
    EXPECT_EQ(hive.CloseKey(b), ERROR_SUCCESS);
    EXPECT_EQ(hive.CloseKey(d), ERROR_SUCCESS);
    EXPECT_EQ(hive.CloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(HiveTest, TextSizeCountsItsNulAndShortBuffersAskForMore) {
    const HKey key = open("SOFTWARE\\Vantrel");
    std::uint32_t type = 99, size = 0;
    EXPECT_EQ(hive.QueryValueEx(key, "", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 4u);

    std::uint8_t buf[8];
    std::memset(buf, ' ', sizeof buf);
    size = 3;
    type = 99;
    EXPECT_EQ(hive.QueryValueEx(key, "", &type, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 8), "        ");  // nothing half-written

    size = sizeof buf;
    EXPECT_EQ(hive.QueryValueEx(key, "", nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), std::string("abc\0 ", 5));

    size = sizeof buf;
    EXPECT_EQ(hive.QueryValueEx(key, "Missing", &type, buf, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hive.QueryValueEx(key, "", nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(hive.QueryValueEx(key, "", &type, nullptr, nullptr), ERROR_SUCCESS);
    size = 0;
    EXPECT_EQ(hive.QueryValueEx(key, "Bin", &type, buf, &size), ERROR_SUCCESS);  // empty binary fits
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 0u);
    hive.CloseKey(key);
}

TEST_F(HiveTest, DwordAndExpandableTextKeepTheirTypes) {
    const HKey key = open("SOFTWARE\\Vantrel", HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE);
    std::uint8_t buf[32];
    std::uint32_t type = 0, size = sizeof buf;
    ASSERT_EQ(hive.QueryValueEx(key, "answer", &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(buf, buf + 4), (std::vector<std::uint8_t>{0x2a, 0, 0, 0}));

    size = sizeof buf;
    ASSERT_EQ(hive.QueryValueEx(key, "Expand", &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), std::string("%TEMP%\0", 7));
    hive.CloseKey(key);
}

TEST_F(HiveTest, SubkeysEnumerateInCaseInsensitiveOrder) {
    const HKey list = open("SOFTWARE\\List");
    // Upper-cased comparison puts "_" (0x5F) after the letters.
    EXPECT_EQ(enumerate(list),
              (std::vector<std::string>{"Alpha", "alpha2", "beta", "Longest-Name", "Zeta", "_under"}));
    std::uint32_t count = 0, longest = 0;
    EXPECT_EQ(hive.QueryInfoKey(list, &count, &longest), ERROR_SUCCESS);
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(longest, 12u);
    EXPECT_EQ(hive.QueryInfoKey(list, nullptr, nullptr), ERROR_SUCCESS);
    hive.CloseKey(list);
}

TEST_F(HiveTest, EnumerationStatusCodes) {
    const HKey list = open("SOFTWARE\\List");
    char buf[16];
    std::memset(buf, ' ', sizeof buf);
    std::uint32_t size = 12;  // "Longest-Name" (index 3) needs 13 with its NUL
    EXPECT_EQ(hive.EnumKeyEx(list, 3, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(std::string(buf, 12), std::string(12, ' '));
    size = 13;
    EXPECT_EQ(hive.EnumKeyEx(list, 3, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 12u);
    EXPECT_STREQ(buf, "Longest-Name");
    size = 16;
    EXPECT_EQ(hive.EnumKeyEx(list, 6, buf, &size), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(hive.EnumKeyEx(list, 0xFFFFFFFFu, buf, &size), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(hive.EnumKeyEx(list, 0, nullptr, &size), ERROR_INVALID_PARAMETER);

    const HKey leaf = open("SOFTWARE\\List\\Zeta");
    std::uint32_t count = 9, longest = 9;
    EXPECT_EQ(hive.QueryInfoKey(leaf, &count, &longest), ERROR_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(longest, 0u);
    EXPECT_EQ(hive.EnumKeyEx(leaf, 0, buf, &size), ERROR_NO_MORE_ITEMS);
    hive.CloseKey(leaf);
    hive.CloseKey(list);
}

TEST_F(HiveTest, TheRegistryIsReadOnlyAndHandlesKeepTheirAccess) {
    HKey key = 0;
    EXPECT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel", 0, KEY_SET_VALUE, key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel", 0, KEY_ALL_ACCESS, key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, 0u);
    // A missing key is reported as missing whatever the access asked for.
    EXPECT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\None", 0, KEY_ALL_ACCESS, key), ERROR_FILE_NOT_FOUND);

    const HKey values = open("SOFTWARE", HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE);
    char buf[16];
    std::uint32_t size = sizeof buf;
    EXPECT_EQ(hive.EnumKeyEx(values, 0, buf, &size), ERROR_ACCESS_DENIED);
    const HKey names = open("SOFTWARE", HKEY_LOCAL_MACHINE, KEY_ENUMERATE_SUB_KEYS);
    EXPECT_EQ(hive.EnumKeyEx(names, 0, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(hive.QueryInfoKey(names, &size, nullptr), ERROR_ACCESS_DENIED);
    hive.CloseKey(values);
    hive.CloseKey(names);
}

TEST(HiveViews, AMountedViewIsBuiltOnceOnItsFirstOpenAndReplacesTheHiveContent) {
    RegistryHive hive(parseRegFile(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel]\n\"A\"=\"1\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Place\\View\\FromFile]\n"));
    int builds = 0;
    hive.mount("SOFTWARE\\Place\\View", [&](RegistryKey& key) {
        ++builds;
        key.subkey("one").setValue("DisplayName", REG_SZ, registryText("One"));
    });

    HKey settings = 0, place = 0;
    ASSERT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel", 0, KEY_QUERY_VALUE, settings), ERROR_SUCCESS);
    ASSERT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Place", 0, KEY_READ, place), ERROR_SUCCESS);
    char name[16];
    std::uint32_t size = sizeof name;
    ASSERT_EQ(hive.EnumKeyEx(place, 0, name, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "View");
    EXPECT_EQ(builds, 0);

    HKey entry = 0;  // a key below the view, opened directly
    ASSERT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "software\\place\\view\\ONE", 0, KEY_READ, entry), ERROR_SUCCESS);
    EXPECT_EQ(builds, 1);
    HKey view = 0;
    ASSERT_EQ(hive.OpenKeyEx(place, "View", 0, KEY_READ, view), ERROR_SUCCESS);
    std::uint32_t count = 0;
    EXPECT_EQ(hive.QueryInfoKey(view, &count, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(count, 1u);  // FromFile is gone
    EXPECT_EQ(hive.OpenKeyEx(view, "FromFile", 0, KEY_READ, entry), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(builds, 1);
}

TEST(HiveViews, AViewThatFailsToBuildIsAnEmptyKey) {
    RegistryHive hive;
    int builds = 0;
    hive.mount("A\\B", [&](RegistryKey& key) {
        ++builds;
        key.subkey("half");
        throw std::runtime_error("database gone");
    });
    HKey key = 0;
    ASSERT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "A\\B", 0, KEY_READ, key), ERROR_SUCCESS);
    std::uint32_t count = 9;
    EXPECT_EQ(hive.QueryInfoKey(key, &count, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(hive.OpenKeyEx(HKEY_LOCAL_MACHINE, "A\\B", 0, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(builds, 1);
}
