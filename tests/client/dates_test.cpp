// Dates as the regional settings write them, and reply fields read back as dates.
#include <string>

#include <gtest/gtest.h>

#include "locale_guard.h"
#include "platform/common/errors.h"
#include "client/service.h"

namespace {

using platform::Date;
using platform::FieldValue;
using platform::PlatformError;
using service::DateText;
using service::FieldToDate;

Date at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return platform::dateFromCivil({y, mo, d, h, mi, s}).value();
}

TEST(DateText, FollowsTheCLocale) {
    TimeLocale locale("C");
    ASSERT_TRUE(locale.active());
    EXPECT_EQ(DateText(at(2024, 3, 5)), "03/05/24");
    EXPECT_EQ(DateText(at(2024, 3, 5, 14, 30)), "03/05/24 14:30:00");
    EXPECT_EQ(DateText(at(2024, 3, 5, 0, 0, 1)), "03/05/24 00:00:01");
    EXPECT_EQ(DateText(at(1899, 12, 31)), "12/31/99");
    // An unset date is the zero date: the time of midnight alone.
    EXPECT_EQ(DateText(Date{}), "00:00:00");
    EXPECT_EQ(DateText(Date{0.5}), "12:00:00");
}

TEST(DateText, FollowsAGermanLocale) {
    TimeLocale locale("de_DE.UTF-8");
    ASSERT_TRUE(locale.active()) << "de_DE.UTF-8 is missing: scripts/install-deps installs locales-all";
    EXPECT_EQ(DateText(at(2024, 3, 5)), "05.03.2024");
    EXPECT_EQ(DateText(at(2024, 3, 5, 14, 30)), "05.03.2024 14:30:00");
    EXPECT_EQ(DateText(Date{}), "00:00:00");
}

TEST(DateText, FollowsAnAmericanLocale) {
    TimeLocale locale("en_US.UTF-8");
    ASSERT_TRUE(locale.active()) << "en_US.UTF-8 is missing: scripts/install-deps installs locales-all";
    EXPECT_EQ(DateText(at(2024, 3, 5)), "03/05/2024");
    EXPECT_EQ(DateText(at(2024, 3, 5, 14, 30)), "03/05/2024 02:30:00 PM");
    EXPECT_EQ(DateText(Date{}), "12:00:00 AM");
}

TEST(FieldToDate, TakesDatesAndDayNumbersAsTheyAre) {
    EXPECT_EQ(FieldToDate(FieldValue(at(2024, 3, 5, 14, 30))), at(2024, 3, 5, 14, 30));
    EXPECT_EQ(FieldToDate(FieldValue(std::int64_t{45356})), at(2024, 3, 5));
    EXPECT_EQ(FieldToDate(FieldValue(45356.5)), at(2024, 3, 5, 12));
    EXPECT_EQ(FieldToDate(FieldValue(-1.0)), at(1899, 12, 29));
}

TEST(FieldToDate, TheFirstAndLastDaysHoldEveryTimeOfDay) {
    TimeLocale locale("de_DE.UTF-8");  // a year written in full
    ASSERT_TRUE(locale.active());
    // Before the zero date the time counts down from the day's number: 100-01-01 noon is -657434.5.
    for (const Date d : {at(100, 1, 1, 0, 0, 8), at(100, 1, 1, 12), at(9999, 12, 31, 23, 59, 59)}) {
        EXPECT_EQ(FieldToDate(FieldValue(d.days)), d);
        EXPECT_EQ(FieldToDate(FieldValue(DateText(d))), d) << DateText(d);
    }
    EXPECT_EQ(FieldToDate(FieldValue(std::string("100-01-01T00:00:08"))), at(100, 1, 1, 0, 0, 8));
    EXPECT_THROW(FieldToDate(FieldValue(-657435.0)), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(2958466.0)), PlatformError);
    // Within a rounding of the next day, which lies outside.
    EXPECT_THROW(FieldToDate(FieldValue(-657434.9999999)), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(2958465.9999999)), PlatformError);
}

TEST(FieldToDate, ParsesTextInTheRegionalForm) {
    {
        TimeLocale locale("C");
        ASSERT_TRUE(locale.active());
        EXPECT_EQ(FieldToDate(FieldValue(std::string("03/05/24"))), at(2024, 3, 5));
        EXPECT_EQ(FieldToDate(FieldValue(std::string(" 03/05/24 14:30:00 "))), at(2024, 3, 5, 14, 30));
        EXPECT_EQ(FieldToDate(FieldValue(std::string("14:30:00"))), at(1899, 12, 30, 14, 30));
    }
    {
        TimeLocale locale("de_DE.UTF-8");
        ASSERT_TRUE(locale.active());
        EXPECT_EQ(FieldToDate(FieldValue(std::string("05.03.2024"))), at(2024, 3, 5));
        EXPECT_EQ(FieldToDate(FieldValue(std::string("05.03.2024 14:30:00"))), at(2024, 3, 5, 14, 30));
        // What DateText writes reads back as the same date.
        for (const Date d : {at(2023, 1, 15), at(2024, 12, 31, 23, 59, 59)})
            EXPECT_EQ(FieldToDate(FieldValue(DateText(d))), d);
    }
    // Servers often send ISO dates whatever the user's settings.
    EXPECT_EQ(FieldToDate(FieldValue(std::string("2024-03-05T14:30:00"))), at(2024, 3, 5, 14, 30));
    EXPECT_EQ(FieldToDate(FieldValue(std::string("2024-03-05"))), at(2024, 3, 5));
}

TEST(FieldToDate, RefusesWhatIsNoDate) {
    TimeLocale locale("C");
    ASSERT_TRUE(locale.active());
    EXPECT_THROW(FieldToDate(FieldValue()), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(true)), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(std::string())), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(std::string("anna"))), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(std::string("03/05/24 later"))), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(std::string("02/30/24"))), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(1e9)), PlatformError);
    EXPECT_THROW(FieldToDate(FieldValue(std::int64_t{-700000})), PlatformError);
}

}  // namespace
