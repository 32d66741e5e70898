// Reading the settings key: the holder's rules and the status codes.
#include <gtest/gtest.h>

#include "session/settings.h"
#include "tests/support/fakes.h"

namespace {

class Settings : public ::testing::Test {
protected:
    fakes::Registry registry;
    platform::HKey key = 0;

    void Open() {
        ASSERT_EQ(registry.OpenKeyEx(platform::HKEY_LOCAL_MACHINE, session::kSettingsKey, 0, platform::KEY_QUERY_VALUE, key), 0);
    }
};

TEST_F(Settings, TextsAreReadWithoutTheirTerminatingNul) {
    registry.SetString("Software\\Vantrel", "ServerPath", "abc");
    Open();
    session::SettingValue holder;
    EXPECT_EQ(session::ReadSettingValue(registry, key, "ServerPath", holder), 0);
    EXPECT_EQ(std::get<std::string>(holder), "abc");
}

TEST_F(Settings, TextsEndAtTheirFirstNulAsTheUninstallListsDo) {
    registry.SetRaw("Software\\Vantrel", "ServerPath", platform::REG_SZ, std::string("http://a/", 9));
    registry.SetRaw("Software\\Vantrel", "FilePath", platform::REG_SZ, std::string("C:\\x\0junk\0", 11));
    Open();
    session::SettingValue holder;
    EXPECT_EQ(session::ReadSettingValue(registry, key, "ServerPath", holder), 0);
    EXPECT_EQ(std::get<std::string>(holder), "http://a/");  // no terminator: nothing cut off
    EXPECT_EQ(session::ReadSettingValue(registry, key, "FilePath", holder), 0);
    EXPECT_EQ(std::get<std::string>(holder), "C:\\x");
}

TEST_F(Settings, NumbersReadAsTheirDecimalText) {
    registry.SetDword("Software\\Vantrel", "FilePath", 42);
    registry.SetDword("Software\\Vantrel", "Negative", 0xFFFFFFFBu);
    Open();
    session::SettingValue holder;
    EXPECT_EQ(session::ReadSettingValue(registry, key, "FilePath", holder), 0);
    EXPECT_EQ(session::ToText(holder), "42");
    EXPECT_EQ(session::ReadSettingValue(registry, key, "Negative", holder), 0);
    EXPECT_EQ(session::ToText(holder), "-5");
}

TEST_F(Settings, OtherTypesAreNotReadAndLeaveTheHolder) {
    registry.SetRaw("Software\\Vantrel", "ServerPath", platform::REG_EXPAND_SZ, std::string("%HOME%\0", 7));
    Open();
    session::SettingValue holder = std::string("kept");
    EXPECT_EQ(session::ReadSettingValue(registry, key, "ServerPath", holder), -1);
    EXPECT_EQ(session::ToText(holder), "kept");
}

TEST_F(Settings, AMissingValueOrKeyGivesTheRegistryStatusAndAnEmptyText) {
    registry.SetString("Software\\Vantrel", "FilePath", "x");
    Open();
    session::SettingValue holder;
    EXPECT_EQ(session::ReadSettingValue(registry, key, "ServerPath", holder), platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(session::ToText(holder), "");
    EXPECT_EQ(session::ReadSettingValue(registry, 0, "FilePath", holder), platform::ERROR_INVALID_HANDLE);
    EXPECT_EQ(session::ToText(holder), "");
}

}  // namespace
