// Where a console write may cut the program's UTF-8 without splitting a character.
#include <string>

#include <gtest/gtest.h>

#include "platform/console/console.h"

namespace {

struct Cut {
    const char* name;
    std::string bytes;
    std::size_t whole;
};

std::ostream& operator<<(std::ostream& os, const Cut& c) { return os << c.name; }

const Cut kCuts[] = {
    {"Empty", "", 0},
    {"Ascii", "Password: ", 10},
    {"TwoBytesWhole", "caf\xC3\xA9", 5},
    {"TwoBytesCut", "caf\xC3", 3},
    {"ThreeBytesWhole", "\xE2\x82\xAC", 3},
    {"ThreeBytesCutAfterOne", "a\xE2", 1},
    {"ThreeBytesCutAfterTwo", "a\xE2\x82", 1},
    {"FourBytesWhole", "\xF0\x9D\x84\x9E", 4},
    {"FourBytesCutAfterThree", "ab\xF0\x9D\x84", 2},
    // Bytes that start no sequence are passed on (and repaired there), never held back for ever.
    {"StrayContinuation", "a\x80", 2},
    {"NoLeadByte", "a\xF8", 2},
    {"OverlongLead", "a\xC0", 2},
};

class WholeUtf8 : public testing::TestWithParam<Cut> {};

TEST_P(WholeUtf8, EndsBeforeAnUnfinishedCharacterOnly) {
    EXPECT_EQ(platform::WholeUtf8Prefix(GetParam().bytes), GetParam().whole);
}

INSTANTIATE_TEST_SUITE_P(Cuts, WholeUtf8, testing::ValuesIn(kCuts),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
