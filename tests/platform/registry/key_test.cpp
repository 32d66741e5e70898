// Names as the registry compares them: upper-cased characters, whatever bytes they are made of.
#include <string>

#include <gtest/gtest.h>

#include "platform/registry/key.h"

namespace {

using platform::compareRegistryNames;
using platform::foldRegistryName;
using platform::sameRegistryName;

TEST(RegistryNames, CompareLatinLettersWithoutCaseAndReadBrokenBytesOneByOne) {
    EXPECT_TRUE(sameRegistryName("Caf\xC3\xA9", "CAF\xC3\x89"));
    EXPECT_TRUE(sameRegistryName("\xC3\xBF", "\xC5\xB8"));  // the one Latin-1 letter whose capital lies outside it
    EXPECT_LT(compareRegistryNames("Ax", "_x"), 0);
    EXPECT_EQ(foldRegistryName("caf\xC3\xA9"), "CAF\xC3\x89");
    // A stray byte stands for its Latin-1 character, so it matches that letter in either case.
    EXPECT_TRUE(sameRegistryName("\xE9", "\xC9"));
    EXPECT_EQ(foldRegistryName("\xE9"), "\xC3\x89");
    // An overlong NUL is three stray bytes, never the NUL it would spell.
    EXPECT_FALSE(sameRegistryName("\xE0\x80\x80", std::string(1, '\0')));
    EXPECT_EQ(foldRegistryName("\xE0\x80\x80").find('\0'), std::string::npos);
}

}  // namespace
