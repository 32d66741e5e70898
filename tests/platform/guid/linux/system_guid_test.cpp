// The system's GUID source: the kernel's random bits with the version-4 marks.
#include <array>
#include <cstring>
#include <set>

#include <gtest/gtest.h>

#include "platform/guid/guid.h"

namespace {

TEST(SystemGuidSource, GivesDistinctVersionFourGuids) {
    auto source = platform::makeSystemGuidSource();
    std::set<std::array<unsigned char, 16>> seen;
    for (int i = 0; i < 200; ++i) {
        platform::Guid guid;
        ASSERT_EQ(source->CoCreateGuid(guid), 0);
        EXPECT_EQ(guid.Data3 >> 12, 4) << "version nibble";
        EXPECT_EQ(guid.Data4[0] >> 6, 2) << "variant bits";
        std::array<unsigned char, 16> bytes{};
        std::memcpy(bytes.data(), &guid.Data1, 4);
        std::memcpy(bytes.data() + 4, &guid.Data2, 2);
        std::memcpy(bytes.data() + 6, &guid.Data3, 2);
        std::memcpy(bytes.data() + 8, guid.Data4, 8);
        seen.insert(bytes);
    }
    EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
