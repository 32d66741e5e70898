// The HTTP sources' shared reply rules: which statuses are a busy service, how Retry-After is
// read, and that every failure names the page without its query.
#include <chrono>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/recordset/http_reply.h"

namespace {

using namespace std::chrono;
using testing::HasSubstr;
using testing::Not;

const system_clock::time_point kNow = sys_days{2026y / 12 / 9} + 13h;  // a Wednesday

struct RetryAfterCase {
    const char* name;
    const char* value;
    std::optional<long> seconds;
};

std::ostream& operator<<(std::ostream& os, const RetryAfterCase& c) { return os << c.name; }

const RetryAfterCase kRetryAfter[] = {
    {"Seconds", "120", 120},
    {"SecondsAmidBlanks", " 7\t", 7},
    {"Zero", "0", 0},
    {"HugeIsCapped", "99999999999999999999999", 2147483647},
    {"Negative", "-1", std::nullopt},
    {"Fraction", "1.5", std::nullopt},
    {"Empty", "", std::nullopt},
    {"Word", "soon", std::nullopt},
    {"DateAhead", "Wed, 09 Dec 2026 13:01:30 GMT", 90},
    {"DateNextYear", "Fri, 01 Jan 2027 00:00:00 GMT", 22 * 86400 + 11 * 3600},
    {"DatePast", "Tue, 08 Dec 2026 13:00:00 GMT", 0},
    {"NoSuchDay", "Mon, 29 Feb 2027 13:00:00 GMT", std::nullopt},
    {"NoSuchHour", "Wed, 09 Dec 2026 24:00:00 GMT", std::nullopt},
    {"NoSuchMonth", "Wed, 09 Dez 2026 13:01:30 GMT", std::nullopt},
    {"NotGmt", "Wed, 09 Dec 2026 13:01:30 UTC", std::nullopt},
    {"NoDayName", "Xyz, 09 Dec 2026 13:01:30 GMT", std::nullopt},
    {"SignedField", "Wed, +9 Dec 2026 13:01:30 GMT", std::nullopt},
};

class RetryAfter : public testing::TestWithParam<RetryAfterCase> {};

TEST_P(RetryAfter, IsReadAsSecondsOrADateOrNotAtAll) {
    const auto delay = platform::http::ParseRetryAfter(GetParam().value, kNow);
    ASSERT_EQ(delay.has_value(), GetParam().seconds.has_value());
    if (delay) {
        EXPECT_EQ(delay->count(), *GetParam().seconds);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, RetryAfter, testing::ValuesIn(kRetryAfter),
                         [](const auto& info) { return std::string(info.param.name); });

const std::string kOneRecord =
    "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
    " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
    "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
    "<s:AttributeType name='ID' rs:number='1'><s:datatype dt:type='int'/></s:AttributeType>"
    "</s:ElementType></s:Schema><rs:data><z:row ID='7'/></rs:data></xml>";

struct ReplyCase {
    const char* name;
    long status;
    const char* retryAfter;
    std::string body;
    const char* outcome;  // "records", "busy" or a part of the failure's message
    long busySeconds = 0;
};

std::ostream& operator<<(std::ostream& os, const ReplyCase& c) { return os << c.name; }

const ReplyCase kReplies[] = {
    {"RecordSet", 200, "", kOneRecord, "records"},
    {"RecordSetIgnoresRetryAfter", 200, "30", kOneRecord, "records"},
    {"Unavailable", 503, "30", "", "busy", 30},
    {"TooMany", 429, "Wed, 09 Dec 2026 13:00:05 GMT", "", "busy", 5},
    {"UnavailableWithoutRetryAfter", 503, "", kOneRecord, "status 503"},
    {"TooManyWithAnUnreadableRetryAfter", 429, "later", "", "status 429"},
    {"ServerErrorWithRetryAfter", 500, "30", kOneRecord, "status 500"},
    {"Redirect", 302, "", "", "status 302"},
    {"NoRecordSet", 200, "", "<html>Service Unavailable</html>", "not a persisted record set"},
};

class Replies : public testing::TestWithParam<ReplyCase> {};

TEST_P(Replies, GiveTheRecordSetOrTellABusyServiceFromAFailure) {
    const ReplyCase& c = GetParam();
    const std::string address = "http://127.0.0.1:1/getdata.asp?UID=anna&PWD=s3cret";
    const platform::http::Reply reply{c.status, c.retryAfter, c.body};
    try {
        const platform::RecordSet set = platform::http::ReadReply(address, reply, kNow);
        EXPECT_STREQ(c.outcome, "records");
        EXPECT_EQ(set.RecordCount(), 1);
    } catch (const platform::ServiceBusy& busy) {
        EXPECT_STREQ(c.outcome, "busy") << busy.what();
        EXPECT_EQ(busy.Status(), c.status);
        EXPECT_EQ(busy.RetryAfter().count(), c.busySeconds);
        EXPECT_THAT(busy.what(), Not(HasSubstr("s3cret")));
    } catch (const platform::PlatformError& e) {
        EXPECT_THAT(e.what(), HasSubstr(c.outcome));
        EXPECT_THAT(e.what(), HasSubstr("/getdata.asp failed"));
        EXPECT_THAT(e.what(), Not(HasSubstr("s3cret")));
    }
}

INSTANTIATE_TEST_SUITE_P(Statuses, Replies, testing::ValuesIn(kReplies),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Addresses, OnlyHttpIsFetchedAndTheOriginEndsBeforeThePath) {
    using platform::http::OriginOf;
    EXPECT_NO_THROW(platform::http::RequireHttpAddress("HTTPS://host/x"));
    for (const char* bad : {"", "getversion.asp?Major=1", "file:///etc/passwd", "ftp://host/"})
        EXPECT_THROW(platform::http::RequireHttpAddress(bad), platform::PlatformError) << bad;
    EXPECT_EQ(OriginOf("http://host:81/a/b?c=d"), "http://host:81");
    EXPECT_EQ(OriginOf("http://host?PWD=x"), "http://host");
    EXPECT_EQ(OriginOf("host/a"), "host/a");
}

}  // namespace
