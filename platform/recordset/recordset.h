#pragma once
// Record sets opened from an address: an HTTP GET whose reply is a persisted record set
// (XML). Anything else is a failure.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/common/date.h"
#include "platform/common/errors.h"

namespace platform {

// A field's value: null, text, integer, floating point, boolean or date-time.
using FieldValue = std::variant<std::monostate, std::string, std::int64_t, double, bool, Date>;

class RecordSet {
public:
    RecordSet() = default;
    RecordSet(std::vector<std::string> columns, std::vector<std::vector<FieldValue>> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}

    std::int32_t RecordCount() const { return static_cast<std::int32_t>(rows_.size()); }
    // Field `index` (zero-based position) of the current (first) record.
    // Throws PlatformError when there is no record or no such field.
    FieldValue Field(std::int16_t index) const;
    const std::vector<std::string>& Columns() const { return columns_; }
    const std::vector<std::vector<FieldValue>>& Rows() const { return rows_; }

private:
    std::vector<std::string> columns_;
    std::vector<std::vector<FieldValue>> rows_;
};

// Reads a persisted record set; throws PlatformError for anything that is not one.
RecordSet ParseRecordSet(std::string_view bytes);

// The failure of an open that the service answered "busy" (503 or 429) and said, in
// Retry-After, when to come back: unlike any other failure, asking again later may succeed.
class ServiceBusy : public PlatformError {
public:
    ServiceBusy(const std::string& what, long status, std::chrono::seconds retryAfter)
        : PlatformError(what), status_(status), retryAfter_(retryAfter) {}
    long Status() const { return status_; }
    std::chrono::seconds RetryAfter() const { return retryAfter_; }

private:
    long status_;
    std::chrono::seconds retryAfter_;
};

class RecordSource {
public:
    virtual ~RecordSource() = default;
    // Fetches `address` and reads the reply. Throws PlatformError on any failure (ServiceBusy
    // when the service asked to be asked again later). How long it waits is the source's
    // business, bounded so that no request holds the window for long.
    virtual RecordSet Open(const std::string& address) = 0;
    // The same for a request whose failure is harmless to the caller: the source may give up
    // sooner than for Open.
    virtual RecordSet OpenBriefly(const std::string& address) { return Open(address); }
};

// How long the HTTP source waits. A service that has stopped answering must not cost every
// later request of a series the full wait, yet one that comes back must be noticed.
struct HttpWaits {
    long connectMs = 5'000;   // a full request: connection
    long requestMs = 10'000;  // a full request: connection and whole reply
    long briefMs = 3'000;     // OpenBriefly: connection and whole reply
    // After a request the service did not answer (time-out, refused or reset connection), a
    // request that follows within `seriesGapMs` gets `shortMs` for connection and reply; one after
    // a longer pause, or the first after `probeEveryMs` without a full wait, waits in full again.
    // Any answer ends the streak.
    long shortMs = 50;
    long seriesGapMs = 2'000;
    long probeEveryMs = 30'000;
};

// Which certificates an HTTPS service may present: the system's trusted ones, unless `caFile`
// names a file of certificates to trust instead (a private CA, or a test's).
struct HttpTrust {
    std::string caFile;
};

// The system's HTTP GET (libcurl on Linux, WinHTTP on Windows), connections kept alive across
// requests, through the proxy that the system's settings name for each address; HTTPS always
// verified.
std::unique_ptr<RecordSource> makeHttpRecordSource(HttpWaits waits = {}, HttpTrust trust = {});

}  // namespace platform
