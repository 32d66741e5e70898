// What the command line prints and the versions it reads.
#include <sstream>

#include "dataservice/cli/listing.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(Listing, PrintsItemsOnePerLineWithTabsAndBreaksEscaped) {
    std::ostringstream out;
    printItems({Item{1, "Software", "Editor\t2\nbeta", std::nullopt}, Item{2, "OS", "100%", std::nullopt}}, out);
    EXPECT_EQ(out.str(), "Software\tEditor%092%0Abeta\nOS\t100%25\n");
}

TEST(Listing, ParsesVersions) {
    EXPECT_EQ(parseVersion("1.1.11"), (Version{1, 1, 11}));
    EXPECT_FALSE(parseVersion("1.1"));
    EXPECT_FALSE(parseVersion("1.1.11.0"));
    EXPECT_FALSE(parseVersion("1.-1.11"));
    EXPECT_FALSE(parseVersion("a.b.c"));
    EXPECT_FALSE(parseVersion(""));
}

}  // namespace
}  // namespace dataservice::testing
