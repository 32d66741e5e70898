// PostgreSQL's placeholders from the ?N the store writes.
#include "dataservice/db/database.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

TEST(PostgresPlaceholders, AreNumberedAsWrittenAndLeaveQuotedTextAlone) {
    int count = 0;
    EXPECT_EQ(db::postgresPlaceholders("SELECT ?1, '?2' WHERE a = ?12 OR b = ?1", &count),
              "SELECT $1, '?2' WHERE a = $12 OR b = $1");
    EXPECT_EQ(count, 12);
}

}  // namespace
}  // namespace dataservice::testing
