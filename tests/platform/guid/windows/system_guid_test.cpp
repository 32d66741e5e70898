// GUIDs from the system.
#include <gtest/gtest.h>

#include "platform/guid/guid.h"

namespace {

TEST(Guids, AreNewEachTimeAndOfTheRandomVersion) {
    auto guids = platform::makeSystemGuidSource();
    platform::Guid a, b;
    ASSERT_EQ(guids->CoCreateGuid(a), 0);
    ASSERT_EQ(guids->CoCreateGuid(b), 0);
    EXPECT_FALSE(a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3);
    EXPECT_EQ(a.Data3 >> 12, 4);
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
}

}  // namespace
